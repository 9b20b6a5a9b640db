// SPDX-License-Identifier: GPL-3.0-or-later
// Runs nobody watches, through the real tarn program: batch mode and its
// trace, the emergency stop (a real Pause key event, on sway through the
// compositor's binding) during a Wait and during a long Send into a terminal,
// and the keyboard map after SIGTERM. On X11 each ends with no key down and
// the keyboard map as it was before the run.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <tuple>

#include "TargetProgram.h"
#include "TarnProgram.h"
#include "Utf8.h"

namespace tarn::e2e {
namespace {

using testing::WindowManager;
using testing::XSession;

const std::vector<std::string> kNoSessionBus{"DBUS_SESSION_BUS_ADDRESS=disabled:"};

// Never a "Retry ?" box: it would wait for an answer and the program would
// not end. A failure is said as tarn --check says it, column included, where
// the check finds it too. With --trace the run's trace is written where
// asked, never to the program's own trace file.
TEST(Batch, StandardErrorExitStatusAndTrace) {
    XSession session;
    const struct {
        const char* name;
        const char* macro;       // empty: the file does not exist
        const char* stderrTail;  // after "FILE"; empty for none
        int status;
        const char* trace;
    } cases[] = {
        {"RunsToItsEnd", "Rem one\r\n\r\nWait 0\r\n", "", 0, "Rem one\r\n\r\nWait 0\r\n"},
        {"InvalidCommand", "Rem one\r\nNoSuch command\r\nRem never\r\n",
         ":2:1: error: Invalid macro command [1001]\n", 1,
         "Rem one\r\nNoSuch command\r\nError 1001 - Invalid macro command\r\n"},
        {"TypeMismatch", "Rem a\r\n\r\nWait abc\r\n",
         ":3:6: error: Type mismatch (Wait takes whole seconds up to 32767) [13]\n", 1,
         "Rem a\r\n\r\nWait abc\r\nError 13 - Type mismatch\r\n"},
        {"NoSuchFile", "", ": error: File not found [53]\n", 1, "Error 53 - File not found\r\n"},
        // Only a run finds it: the column a check gives the right side.
        {"RunOnly", "Rem one\r\n  pid = Run /no/such/program\r\n",
         ":2:8: error: File not found [53]\n", 1,
         "Rem one\r\n  pid = Run /no/such/program\r\nError 53 - File not found\r\n"},
    };
    for (const auto& c : cases) {
        for (const bool traced : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (traced ? " traced" : ""));
            TarnProgram tarn(session, kNoSessionBus);
            const std::string macro =
                *c.macro ? tarn.writeMacro("job.mcr", c.macro) : tarn.folder() + "/missing.mcr";
            const std::string trace = tarn.folder() + "/job-trace.txt";
            std::vector<std::string> args{"--batch", macro};
            if (traced) args.insert(args.begin() + 1, {"--trace", trace});
            tarn.start(args);
            ASSERT_EQ(tarn.waitForExit(30s), c.status) << tarn.err();
            EXPECT_EQ(tarn.err(), *c.stderrTail ? macro + c.stderrTail : "");
            EXPECT_EQ(platformtest::exists(trace) ? platformtest::readFile(trace) : "<none>",
                      traced ? c.trace : "<none>");
            EXPECT_FALSE(platformtest::exists(tarn.tracePath()));
            if (!*c.macro || traced) continue;
            const std::string batch = tarn.err();
            tarn.start({"--check", macro});
            tarn.waitForExit(30s);
            if (std::string(c.name) != "RunOnly") {
                EXPECT_EQ(tarn.out(), batch);
            }
        }
    }
}

// A file of one endless line (40 GiB, sparse: reading it all takes a minute)
// is refused at its first line as soon as the line passes its bound, by the
// run and by the check alike.
TEST(Batch, AHugeOneLineMacroIsRefusedAtItsFirstLine) {
    XSession session;
    TarnProgram tarn(session, kNoSessionBus);
    const std::string huge = tarn.folder() + "/huge.mcr";
    const int fd = ::open(huge.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t(40) * 1024 * 1024 * 1024), 0);
    ::close(fd);
    const struct {
        std::vector<std::string> arguments;
        const char* where;
    } cases[] = {{{"--batch", huge}, ":1:1: error: "}, {{"--check", huge}, ":1:1: error: "}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        tarn.start(c.arguments);
        ASSERT_EQ(tarn.waitForExit(20s), 1) << tarn.err();
        const std::string report = c.arguments.front() == "--check" ? tarn.out() : tarn.err();
        EXPECT_EQ(report.rfind(huge + c.where + "Line too long", 0), 0u) << report;
        EXPECT_NE(report.find("[1011]"), std::string::npos) << report;
    }
}

// A batch run and a check show no window: they need neither the windows'
// module nor the widget toolkit, and never load them (most of what starting
// them would cost). Without its module, a run that would show the player is
// refused in one line and status 3 rather than failing in the toolkit.
TEST(Batch, NeedsNoWindowsAndAMissingModuleIsAClearFailure) {
    XSession session;
    TarnProgram tarn(session, kNoSessionBus);
    ASSERT_TRUE(std::filesystem::remove(tarn.programFolder() + "/tarn-windows.so"));
    const std::string macro = tarn.writeMacro("wait.mcr", "Rem begun\r\nWait 600\r\n");
    const std::string trace = tarn.folder() + "/trace.txt";
    tarn.start({"--batch", "--trace", trace, macro});
    // The trace's first line is written by the run itself, long after every
    // library the program links has been loaded.
    ASSERT_TRUE(testing::waitUntil(
        [&] {
            return platformtest::exists(trace) &&
                   platformtest::readFile(trace).find("Rem begun") != std::string::npos;
        },
        30s))
        << tarn.err();
    const std::string maps =
        platformtest::readFile("/proc/" + std::to_string(tarn.pid()) + "/maps");
    EXPECT_NE(maps.find("libQt6Core"), std::string::npos);
    for (const char* library : {"libQt6Gui", "libQt6Widgets", "tarn-windows"})
        EXPECT_EQ(maps.find(library), std::string::npos) << library;
    ::kill(tarn.pid(), SIGTERM);
    ASSERT_EQ(tarn.waitForExit(20s), 128 + SIGTERM) << tarn.err();

    tarn.start({"--check", macro});
    EXPECT_EQ(tarn.waitForExit(20s), 0) << tarn.err();
    tarn.start({macro});
    EXPECT_EQ(tarn.waitForExit(20s), 3);
    EXPECT_EQ(tarn.err().rfind("tarn: cannot load Tarn's windows: ", 0), 0u) << tarn.err();

    // A module of another build (here this build's own, its stamp changed)
    // is refused the same way, never run.
    std::string module = platformtest::readFile(TARN_WINDOWS_MODULE);
    const std::size_t stamp = module.find(TARN_BUILD_TOKEN);
    ASSERT_NE(stamp, std::string::npos);
    module[stamp + std::strlen(TARN_BUILD_TOKEN) - 1] ^= 1;
    platformtest::writeFile(tarn.programFolder() + "/tarn-windows.so", module);
    tarn.start({macro});
    EXPECT_EQ(tarn.waitForExit(20s), 3);
    EXPECT_NE(tarn.err().find("belongs to another build of Tarn"), std::string::npos) << tarn.err();
    EXPECT_FALSE(platformtest::exists(tarn.tracePath()));
}

// The stop binding the help gives for sway, but for one step: sway runs its
// bindings as a user of its own here, who may not stop the test's runs, so
// the binding notes the press and the test runs `tarn --stop` for it.
const std::string kStopBinding = "bindsym Pause exec $XDG_RUNTIME_DIR/stop-pressed\n";

class Unattended : public ::testing::Test {
  protected:
    explicit Unattended(WindowManager manager = WindowManager::Openbox)
        : session(manager, {}, kStopBinding) {
        if (!session.wayland()) return;
        const std::string script = bindingFolder() + "/stop-pressed";
        platformtest::writeFile(script, "#!/bin/sh\necho >> \"$XDG_RUNTIME_DIR/presses\"\n");
        ::chmod(script.c_str(), 0755);
    }

    XSession session;
    Desktop desktop{session};
    // The keyboard map of X11; on Wayland Tarn types with a keyboard of its
    // own and leaves the user's alone.
    std::string before = session.wayland() ? "" : session.keyboardMap();

    std::string startXterm(const std::string& title, pid_t* pid = nullptr) {
        const std::string out = testing::startTerminalToFile(session, title, true, pid);
        desktop.waitForWindow(title);
        return out;
    }

    static std::size_t size(const std::string& path) { return platformtest::readFile(path).size(); }

    void expectKeyboardAsBefore() {
        if (session.wayland()) return;
        EXPECT_TRUE(session.keysDown().empty());
        EXPECT_TRUE(session.keyboardMap() == before) << "the keyboard map changed";
    }

    // sway's runtime folder, where its bindings run.
    std::string bindingFolder() const { return session.folder() + "/sway"; }
    std::size_t bindingPresses() const {
        const std::string presses = bindingFolder() + "/presses";
        return platformtest::exists(presses) ? size(presses) : 0;
    }
    // Once the bound key has been pressed more than `seen` times, does what
    // the binding does, for `run`: the exit status of `tarn --stop`.
    std::optional<int> stopAsTheBindingDoes(const TarnProgram& run, std::size_t seen) {
        if (!testing::waitUntil([&] { return bindingPresses() > seen; }, 30s)) return {};
        TarnProgram stopper(session,
                            {kNoSessionBus[0], "XDG_RUNTIME_DIR=" + run.folder() + "/runtime"});
        stopper.start({"--stop"});
        return stopper.waitForExit(20s);
    }
};

// On each desktop.
class UnattendedOn : public Unattended, public ::testing::WithParamInterface<WindowManager> {
  protected:
    UnattendedOn() : Unattended(GetParam()) {}
};

const auto kDesktopName = [](const auto& info) { return std::string(testing::name(info.param)); };

// A Pause the macro types itself stops nothing: on X11 it reaches the target;
// on sway the binding takes it (a compositor's bindings come first), and the
// `tarn --stop` it starts is taken for it.
TEST_P(UnattendedOn, APauseTheMacroTypesStopsNothing) {
    testing::TargetProgram target(session);
    target.window("main", "E2E Pause");
    TarnProgram tarn(session, kNoSessionBus);
    const std::string macro = tarn.writeMacro(
        "pause.mcr", "TimeOut 20\r\nSetFocus E2E Pause,2\r\nSend a{BREAK}b\r\n" +
                         std::string(session.wayland() ? "Wait 4\r\n" : "") + "Send c\r\n");
    tarn.start({"--batch", macro});
    if (session.wayland()) {
        EXPECT_EQ(stopAsTheBindingDoes(tarn, 0), 0) << "no run to ask";
    }
    ASSERT_EQ(tarn.waitForExit(30s), 0) << tarn.err();
    EXPECT_EQ(tarn.err(), "");
    EXPECT_TRUE(testing::waitUntil([&] { return target.text("main") == "abc"; }, 10s))
        << target.text("main");
    constexpr int kQtKeyPause = 0x01000008;
    int pauses = 0;
    for (const testing::KeyRecord& key : target.keys("main"))
        pauses += key.press && key.key == kQtKeyPause;
    EXPECT_EQ(pauses, session.wayland() ? 0 : 1);
    expectKeyboardAsBefore();
}

INSTANTIATE_TEST_SUITE_P(Desktops, UnattendedOn,
                         ::testing::Values(WindowManager::Openbox, WindowManager::Sway),
                         kDesktopName);

// Every way to stop a run stops it in each of its waits within a moment, every
// key released and the map restored: the statement in progress is ended
// (placesAfter), the run stops on its line and a batch run says what stopped
// it. The signals end the program with 128 + their number.
struct StopWay {
    const char* name;
    int signal;    // 0: none
    bool command;  // tarn --stop
    int status;
    const char* by;
};

const StopWay kStopWays[] = {
    {"PauseKey", 0, false, 130, "the Pause key"},
    {"StopCommand", 0, true, 130, "tarn --stop"},
    {"Sigint", SIGINT, false, 130, "SIGINT"},
    {"Sigterm", SIGTERM, false, 128 + SIGTERM, "SIGTERM"},
    {"Sighup", SIGHUP, false, 128 + SIGHUP, "SIGHUP"},
    // Their default would end Tarn with keys held down in the middle of a Send.
    {"Sigquit", SIGQUIT, false, 128 + SIGQUIT, "SIGQUIT"},
    {"Sigusr1", SIGUSR1, false, 128 + SIGUSR1, "SIGUSR1"},
};

class Stop : public Unattended,
             public ::testing::WithParamInterface<std::tuple<WindowManager, StopWay>> {
  protected:
    Stop() : Unattended(std::get<0>(GetParam())) {}

    const StopWay& way() const { return std::get<1>(GetParam()); }

    // Stops the run as the way says.
    void stop(TarnProgram& tarn) {
        if (way().signal) {
            ::kill(tarn.pid(), way().signal);
        } else if (way().command) {
            TarnProgram stopper(
                session, {kNoSessionBus[0], "XDG_RUNTIME_DIR=" + tarn.folder() + "/runtime"});
            stopper.start({"--stop"});
            EXPECT_EQ(stopper.waitForExit(20s), 0) << stopper.err();
        } else {
            // From the server, to whoever holds the key; on sway, to its binding.
            const std::size_t presses = session.wayland() ? bindingPresses() : 0;
            desktop.type("{BREAK}");
            if (session.wayland()) {
                EXPECT_EQ(stopAsTheBindingDoes(tarn, presses), 0);
            }
        }
    }

    // What the run says stopped it.
    std::string by() const {
        return way().signal || way().command || !session.wayland() ? way().by : "tarn --stop";
    }
};

// A statement a run waits in, on the macro's line 2.
struct Place {
    const char* name;
    std::string macro;
};

// A Wait, a window search with 600 seconds to go, and after `first` a Send of
// half a million keys, some off the layout: a terminal writes out what it gets
// well behind Tarn's typing, so a shorter Send could end before the stop came.
std::vector<Place> placesAfter(const std::string& first) {
    std::string send = first + "\r\nSend é€{a 10000}{b 10000}{ж 10000}{d 10000}";
    for (int i = 0; i < 46; ++i)
        send += "{e 10000}";
    return {{"Wait", "TimeOut 600\r\nWait 600\r\nRem never\r\n"},
            {"GetWindowID", "TimeOut 600\r\nw = GetWindowID no such window,2\r\nRem never\r\n"},
            {"Send", send + "\r\nRem never\r\n"}};
}

// The statement of line 2 is under way once its line is traced.
bool secondLineTraced(const std::string& trace) {
    const std::string lines = platformtest::readFile(trace);
    return std::count(lines.begin(), lines.end(), '\n') >= 2;
}

TEST_P(Stop, EndsEveryWaitAtOnce) {
    const StopWay& way = std::get<1>(GetParam());
    const std::string out = startXterm("tarn-stop");
    for (const auto& place : placesAfter("SetFocus tarn-stop,2")) {
        SCOPED_TRACE(place.name);
        TarnProgram tarn(session, kNoSessionBus);
        const std::string macro = tarn.writeMacro("stop.mcr", place.macro);
        const std::string trace = tarn.folder() + "/trace.txt";
        const std::size_t typedBefore = size(out);
        tarn.start({"--batch", "--trace", trace, macro});
        ASSERT_TRUE(testing::waitUntil(
            [&] {
                // The Send's line is traced as it begins, and its keys are
                // arriving.
                if (!secondLineTraced(trace)) return false;
                return std::string(place.name) != "Send" || size(out) > typedBefore + 100;
            },
            30s))
            << tarn.err();
        stop(tarn);
        // Far less than the 600 seconds the statement had to go.
        ASSERT_EQ(tarn.waitForExit(20s), way.status) << tarn.err();
        EXPECT_EQ(tarn.err(), macro + ":2: Stopped by " + by() + "\n");
        expectKeyboardAsBefore();
    }
    if (way.command) {  // with no run under way there is nothing to stop
        TarnProgram stopper(session, kNoSessionBus);
        stopper.start({"--stop"});
        EXPECT_EQ(stopper.waitForExit(20s), 1);
        EXPECT_EQ(stopper.err(), "tarn: no macro is running\n");
    }
}

// Before its first line a run may wait too: for the writer of a named pipe
// that nobody opens, or while it reads through a file of gigabytes (a sparse
// file, 40 GiB of lines of a mebibyte, takes a minute to read). Every way to
// stop a run ends these waits as well, at once.
TEST_P(Stop, EndsTheOpeningOfTheMacroAtOnce) {
    const StopWay& way = std::get<1>(GetParam());
    TarnProgram tarn(session, kNoSessionBus);
    const std::string pipe = tarn.folder() + "/pipe.mcr", huge = tarn.folder() + "/huge.mcr";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    {
        const int fd = ::open(huge.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        constexpr off_t kLine = 1024 * 1024, kSize = off_t(40) * 1024 * 1024 * 1024;
        for (off_t end = kLine - 1; end < kSize; end += kLine)
            ASSERT_EQ(::pwrite(fd, "\n", 1, end), 1);
        ::close(fd);
    }
    for (const std::string& macro : {pipe, huge}) {
        SCOPED_TRACE(macro);
        tarn.start({"--batch", macro});
        // Armed: the run listens for tarn --stop (and holds the Pause key).
        const std::string listening =
            tarn.folder() + "/runtime/tarn/stop-" + std::to_string(tarn.pid());
        ASSERT_TRUE(testing::waitUntil([&] { return platformtest::exists(listening); }, 30s))
            << tarn.err();
        stop(tarn);
        ASSERT_EQ(tarn.waitForExit(20s), way.status) << tarn.err();
        EXPECT_EQ(tarn.err(), macro + ": Stopped by " + by() + "\n");
    }
    expectKeyboardAsBefore();
}

INSTANTIATE_TEST_SUITE_P(Ways, Stop,
                         ::testing::Combine(::testing::Values(WindowManager::Openbox,
                                                              WindowManager::Sway),
                                            ::testing::ValuesIn(kStopWays)),
                         [](const auto& info) {
                             return std::string(testing::name(std::get<0>(info.param))) +
                                    std::get<1>(info.param).name;
                         });

// Without --batch too a stopped run is no run that did its work: in
// `tarn job.mcr && next` the next job does not start.
TEST_F(Unattended, AStoppedAutomaticRunEndsWithStatus130) {
    TarnProgram tarn(session, kNoSessionBus);
    const std::string trace = tarn.folder() + "/trace.txt";
    tarn.start(
        {"--trace", trace, tarn.writeMacro("stop.mcr", "Rem one\r\nWait 600\r\nRem never\r\n")});
    ASSERT_TRUE(testing::waitUntil([&] { return secondLineTraced(trace); }, 30s)) << tarn.err();
    desktop.type("{BREAK}");
    ASSERT_EQ(tarn.waitForExit(20s), 130) << tarn.err();
    EXPECT_EQ(tarn.err(), "");
    expectKeyboardAsBefore();
}

// Two runs on one display: the first holds Pause, and the second says so at
// its start, takes the key over once the first has ended and is stopped by it
// then; Pause never reaches a window while a run goes on.
TEST_F(Unattended, TwoRunsOnOneDisplayAreEachStoppedByPauseInTurn) {
    TarnProgram first(session, kNoSessionBus), second(session, kNoSessionBus);
    const std::string text = "TimeOut 600\r\nWait 600\r\n";
    const std::string one = first.writeMacro("one.mcr", text),
                      two = second.writeMacro("two.mcr", text);
    const auto armed = [](TarnProgram& tarn) {
        const std::string socket =
            tarn.folder() + "/runtime/tarn/stop-" + std::to_string(tarn.pid());
        return testing::waitUntil([&] { return platformtest::exists(socket); }, 30s);
    };
    first.start({"--batch", one});
    ASSERT_TRUE(armed(first)) << first.err();
    second.start({"--batch", two});
    ASSERT_TRUE(armed(second)) << second.err();
    const std::string held = two +
                             ": note: Pause is held by another program (another run of Tarn?) and "
                             "stops this run only once that program lets it go; tarn --stop "
                             "stops it now\n";
    ASSERT_TRUE(testing::waitUntil([&] { return second.err() == held; }, 10s)) << second.err();

    desktop.type("{BREAK}");
    ASSERT_EQ(first.waitForExit(20s), 130) << first.err();
    EXPECT_EQ(first.err(), one + ":2: Stopped by the Pause key\n");
    const std::string taken = held + two + ": note: Pause stops this run now\n";
    ASSERT_TRUE(testing::waitUntil([&] { return second.err() == taken; }, 20s)) << second.err();
    desktop.type("{BREAK}");
    ASSERT_EQ(second.waitForExit(20s), 130) << second.err();
    EXPECT_EQ(second.err(), taken + two + ":2: Stopped by the Pause key\n");
    expectKeyboardAsBefore();
}

// The state letter of a process (R, S, T for stopped, ...), 0 when it is gone.
char processState(pid_t pid) {
    const std::string stat = platformtest::readFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t name = stat.rfind(')');
    return name == std::string::npos || name + 2 >= stat.size() ? 0 : stat[name + 2];
}

// The keys down at the server, asked on a connection made beforehand: a
// program stopped while it holds the server would keep a new connection or
// any question waiting for good. Nothing within `limit`: no answer.
std::optional<std::vector<int>> keysDownWithin(xcb_connection_t* c,
                                               std::chrono::milliseconds limit) {
    const xcb_query_keymap_cookie_t cookie = xcb_query_keymap(c);
    xcb_flush(c);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline && !xcb_connection_has_error(c)) {
        void* reply = nullptr;
        if (xcb_poll_for_reply(c, cookie.sequence, &reply, nullptr) && reply) {
            const auto* keys = static_cast<xcb_query_keymap_reply_t*>(reply);
            std::vector<int> down;
            for (int k = 0; k < 256; ++k)
                if ((keys->keys[k / 8] >> (k % 8)) & 1) down.push_back(k);
            std::free(reply);
            return down;
        }
        pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
        ::poll(&fd, 1, 50);
    }
    return std::nullopt;
}

// Waits (bounded) until the server has a key down for `tarn`'s Send, or the
// run has ended: the server takes keys far ahead of what a terminal shows,
// so it is the one watched to know a long Send is under way.
bool typingAtTheServer(xcb_connection_t* c, TarnProgram& tarn) {
    return testing::waitUntil(
        [&] {
            const auto down = keysDownWithin(c, std::chrono::seconds(10));
            return (down && !down->empty()) || !tarn.running();
        },
        std::chrono::seconds(30));
}

// Ctrl+Z (SIGTSTP), or the terminal stopping a program in the background
// (SIGTTIN, SIGTTOU), in the middle of a long Send of capitals: while Tarn is
// stopped, no key is down at the server (Shift and a letter held would
// repeat into whatever has the focus) and the server is not held; continued,
// the Send goes on where it was, every letter a capital, none twice or lost;
// or, when another window has the focus by then, ends with 1012.
TEST_F(Unattended, AStoppedSendHoldsNoKeyAndTypesOnExactlyWhenContinued) {
    // The signal comes once the server has Shift down for the capitals: the
    // server takes keys far ahead of what the terminal shows, so it is the
    // server that is watched, and 120,000 capitals later the Send is still
    // under way.
    constexpr std::size_t kCapitals = 120000;
    std::string job = "SetFocus tarn-job,2\r\nSend ";
    for (std::size_t i = 0; i < kCapitals / 10000; ++i)
        job += "{A 10000}";
    job += "\r\n";
    const std::string out = startXterm("tarn-job");
    xcb_connection_t* display = xcb_connect(session.display().c_str(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(display));
    std::string capitals;
    for (const int signal : {SIGTSTP, SIGTTIN, SIGTTOU}) {
        SCOPED_TRACE(sigabbrev_np(signal));
        TarnProgram tarn(session, kNoSessionBus);
        const std::size_t before = size(out);
        tarn.start({"--batch", tarn.writeMacro("job.mcr", job)});
        ASSERT_TRUE(typingAtTheServer(display, tarn));
        ASSERT_TRUE(tarn.running()) << tarn.err();
        ::kill(tarn.pid(), signal);
        ASSERT_TRUE(testing::waitUntil([&] { return processState(tarn.pid()) == 'T'; }, 20s))
            << "not stopped";
        EXPECT_EQ(keysDownWithin(display, 10s), std::vector<int>{});
        const std::size_t typed = size(out) - before;
        ::kill(tarn.pid(), SIGCONT);
        ASSERT_EQ(tarn.waitForExit(60s), 0) << tarn.err();
        EXPECT_EQ(tarn.err(), "");
        EXPECT_LT(typed, kCapitals) << "the stop came after the Send";
        capitals += std::string(kCapitals, 'A');
        std::string text;
        EXPECT_TRUE(testing::waitUntil(
            [&] { return (text = platformtest::readFile(out)) == capitals; }, 30s))
            << text.size() << " letters, " << std::count(text.begin(), text.end(), 'a') << " small";
        expectKeyboardAsBefore();
    }

    // Another window took the focus while Tarn was stopped: the Send ends
    // with 1012 and types none of the rest there.
    const std::string elsewhere = startXterm("tarn-job-elsewhere");
    const WindowId other = desktop.waitForWindow("tarn-job-elsewhere");
    TarnProgram tarn(session, kNoSessionBus);
    const std::string macro = tarn.writeMacro("job.mcr", job);
    tarn.start({"--batch", macro});
    ASSERT_TRUE(typingAtTheServer(display, tarn));
    ::kill(tarn.pid(), SIGTSTP);
    ASSERT_TRUE(testing::waitUntil([&] { return processState(tarn.pid()) == 'T'; }, 20s));
    ASSERT_TRUE(testing::waitUntil([&] { return desktop.activate(other); }, 30s));
    ::kill(tarn.pid(), SIGCONT);
    ASSERT_EQ(tarn.waitForExit(60s), 1) << tarn.err();
    EXPECT_EQ(tarn.err(), macro +
                              ":2:6: error: The window the keys were typed into closed or lost "
                              "the focus before they were all typed [1012]\n");
    EXPECT_EQ(platformtest::readFile(elsewhere), "");
    const std::string text = platformtest::readFile(out).substr(capitals.size());
    EXPECT_LT(text.size(), kCapitals);
    EXPECT_EQ(text, std::string(text.size(), 'A'));
    expectKeyboardAsBefore();
    xcb_disconnect(display);

    // Holding no key (in a Wait), Tarn stops at once as any program does,
    // and continued it is a run as before: SIGTERM stops it.
    const std::string trace = tarn.folder() + "/trace.txt";
    const std::string waiting = tarn.writeMacro("wait.mcr", "Rem one\r\nWait 600\r\n");
    tarn.start({"--batch", "--trace", trace, waiting});
    ASSERT_TRUE(testing::waitUntil([&] { return secondLineTraced(trace); }, 30s)) << tarn.err();
    ::kill(tarn.pid(), SIGTSTP);
    ASSERT_TRUE(testing::waitUntil([&] { return processState(tarn.pid()) == 'T'; }, 20s));
    ::kill(tarn.pid(), SIGCONT);
    ASSERT_TRUE(testing::waitUntil([&] { return processState(tarn.pid()) != 'T'; }, 20s));
    ::kill(tarn.pid(), SIGTERM);
    ASSERT_EQ(tarn.waitForExit(20s), 128 + SIGTERM) << tarn.err();
    EXPECT_EQ(tarn.err(), waiting + ":2: Stopped by SIGTERM\n");
}

// A run that keeps typing a character off the layout holds it bound; SIGTERM
// in the middle puts the map back before the program ends. A run that waits
// gives a binding back once the keyboard has been idle a moment. A run killed
// while it holds every spare keycode leaves them so; the next run on the
// display gives them back and types as usual.
TEST_F(Unattended, TheKeyboardMapComesBackOnSigtermWhenIdleAndAfterAKilledRun) {
    const std::string out = startXterm("tarn-map");
    TarnProgram tarn(session, kNoSessionBus);
    std::string text = "SetFocus tarn-map,2\r\n";
    for (int i = 0; i < 20000; ++i)
        text += "Send é\r\n";
    tarn.start({tarn.writeMacro("sigterm.mcr", text)});
    ASSERT_TRUE(testing::waitUntil([&] { return size(out) > 20; }, 30s)) << tarn.err();
    EXPECT_FALSE(session.keyboardMap() == before) << "é is bound while the run goes on";
    ::kill(tarn.pid(), SIGTERM);
    ASSERT_EQ(tarn.waitForExit(20s), 128 + SIGTERM);
    expectKeyboardAsBefore();

    const std::size_t typed = size(out);
    tarn.start({tarn.writeMacro("idle.mcr", "SetFocus tarn-map,2\r\nSend é\r\nWait 600\r\n")});
    ASSERT_TRUE(testing::waitUntil([&] { return size(out) >= typed + 2; }, 30s)) << tarn.err();
    EXPECT_TRUE(testing::waitUntil([&] { return session.keyboardMap() == before; }, 20s));
    EXPECT_TRUE(tarn.running());
    ::kill(tarn.pid(), SIGTERM);
    ASSERT_EQ(tarn.waitForExit(20s), 128 + SIGTERM);

    std::string chinese;  // more characters off the layout than there are spare keycodes
    for (char32_t c = U'\u4e00'; c < U'\u4e00' + 400; ++c)
        utf8::append(chinese, c);
    std::string send = "Send ";
    for (int i = 0; i < 20; ++i)
        send += chinese;
    const std::size_t typedBefore = size(out);
    tarn.start(
        {"--batch", tarn.writeMacro("killed.mcr", "SetFocus tarn-map,2\r\n" + send + "\r\n")});
    ASSERT_TRUE(testing::waitUntil([&] { return size(out) > typedBefore + 600; }, 60s))
        << tarn.err();
    // Killed at a moment it is seen to hold bindings: stopped first, so the
    // map read is the one it leaves.
    ASSERT_TRUE(testing::waitUntil(
        [&] {
            ::kill(tarn.pid(), SIGSTOP);
            if (!testing::waitUntil([&] { return processState(tarn.pid()) == 'T'; }, 20s))
                return false;
            if (!(session.keyboardMap() == before)) return true;
            ::kill(tarn.pid(), SIGCONT);
            return false;
        },
        60s))
        << "the run never held a binding";
    ::kill(tarn.pid(), SIGKILL);
    ASSERT_EQ(tarn.waitForExit(20s), 128 + SIGKILL);
    TarnProgram next(session, kNoSessionBus);
    next.start({"--batch", next.writeMacro("next.mcr", "SetFocus tarn-map,2\r\nSend жé\r\n")});
    ASSERT_EQ(next.waitForExit(30s), 0) << next.err();
    EXPECT_TRUE(testing::waitUntil([&] { return session.keyboardMap() == before; }, 20s));
    EXPECT_TRUE(session.keysDown().empty());
}

// When the window the keys go to is destroyed in the middle of a Send, the
// rest is not typed into whatever window comes forward: the run fails with a
// failure of its own.
TEST_F(Unattended, ASendStopsWhenItsWindowIsDestroyed) {
    const std::string bystander = startXterm("tarn-bystander");
    pid_t targetPid = -1;
    startXterm("tarn-target", &targetPid);
    TarnProgram tarn(session, kNoSessionBus);
    // The target dies once the server has Shift down for the capitals, and
    // 300,000 of them later the Send is still under way: the server takes
    // keys far ahead of what the terminal shows, so it is the one watched.
    std::string send = "Send ";
    for (int i = 0; i < 10; ++i)
        send += "{A 10000}{B 10000}{C 10000}";
    const std::string macro =
        tarn.writeMacro("closed.mcr", "SetFocus tarn-target,2\r\n" + send + "\r\n");
    xcb_connection_t* display = xcb_connect(session.display().c_str(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(display));
    tarn.start({"--batch", macro});
    ASSERT_TRUE(typingAtTheServer(display, tarn));
    ASSERT_TRUE(tarn.running()) << tarn.err();
    xcb_disconnect(display);
    session.kill(targetPid);
    ASSERT_EQ(tarn.waitForExit(20s), 1);
    EXPECT_EQ(tarn.err(), macro +
                              ":2:6: error: The window the keys were typed into closed or lost "
                              "the focus before they were all typed [1012]\n");
    // Not one key of the rest reaches another window.
    EXPECT_EQ(size(bystander), 0u);
    expectKeyboardAsBefore();
}

// The display going away in the middle of a run ends the program at once,
// saying so in its own words, wherever the run was: X11's server or the
// Wayland compositor.
class UnattendedDisplay : public ::testing::TestWithParam<WindowManager> {};

TEST_P(UnattendedDisplay, LosingTheDisplayEndsTheRunAtOnce) {
    for (const auto& place : placesAfter("Rem a")) {
        SCOPED_TRACE(place.name);
        XSession session(GetParam());
        TarnProgram tarn(session, kNoSessionBus);
        const std::string macro = tarn.writeMacro("gone.mcr", place.macro);
        const std::string trace = tarn.folder() + "/trace.txt";
        tarn.start({"--batch", "--trace", trace, macro});
        ASSERT_TRUE(testing::waitUntil([&] { return secondLineTraced(trace); }, 30s));
        // Whether a read or a write meets the closed socket first is a race:
        // a write must fail, not kill tarn by SIGPIPE without a word.
        EXPECT_TRUE(platformtest::ignoredSignalsOf(tarn.pid()) & (1ull << (SIGPIPE - 1)));
        ::kill(session.serverPid(), SIGKILL);
        ASSERT_EQ(tarn.waitForExit(20s), 1);
        // The toolkit's own line about it is not said as well.
        EXPECT_EQ(tarn.err(), macro + ":2: error: the display closed [1013]\n");
        EXPECT_NE(platformtest::readFile(trace).find("\r\nError 1013 - the display closed\r\n"),
                  std::string::npos)
            << platformtest::readFile(trace);
    }
}

INSTANTIATE_TEST_SUITE_P(Desktops, UnattendedDisplay,
                         ::testing::Values(WindowManager::Openbox, WindowManager::Sway),
                         [](const auto& info) { return std::string(testing::name(info.param)); });

// WAYLAND_DISPLAY names a compositor that is gone: the run goes to X11 with
// Tarn's one line about it, and the toolkit says nothing of its own.
TEST(UnattendedDisplay, ADeadWaylandDisplayLeavesX11AndOneNotice) {
    XSession session(WindowManager::Openbox);
    TarnProgram tarn(session,
                     {kNoSessionBus[0], "QT_QPA_PLATFORM", "WAYLAND_DISPLAY=/nowhere/wayland-9"});
    tarn.start({"--batch", tarn.writeMacro("fine.mcr", "Rem fine\r\n")});
    ASSERT_EQ(tarn.waitForExit(30s), 0);
    EXPECT_EQ(tarn.err(),
              "tarn: cannot connect to the Wayland display \"/nowhere/wayland-9\": Tarn sees and "
              "types into X11 (XWayland) windows only\n");
}

}  // namespace
}  // namespace tarn::e2e
