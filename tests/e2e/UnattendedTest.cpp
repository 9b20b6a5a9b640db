// SPDX-License-Identifier: GPL-3.0-or-later
// Runs nobody watches, through the real tarn program: batch mode and its
// trace, the emergency stop key (a real Pause key event) during a Wait and
// during a long Send into xterm, and the keyboard map after SIGTERM. Each
// ends with no key down and the keyboard map as it was before the run.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

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

class Unattended : public ::testing::Test {
  protected:
    XSession session{WindowManager::Openbox};
    Desktop desktop{session};
    std::string before = session.keyboardMap();

    std::string startXterm(const std::string& title, pid_t* pid = nullptr) {
        const std::string out = testing::startTerminalToFile(session, title, true, pid);
        desktop.waitForWindow(title);
        return out;
    }

    static std::size_t size(const std::string& path) { return platformtest::readFile(path).size(); }

    void expectKeyboardAsBefore() {
        EXPECT_TRUE(session.keysDown().empty());
        EXPECT_TRUE(session.keyboardMap() == before) << "the keyboard map changed";
    }
};

// A Pause the macro types itself is the target's, and stops nothing.
TEST_F(Unattended, APauseTheMacroTypesReachesTheTarget) {
    testing::TargetProgram target(session);
    target.window("main", "E2E Pause");
    TarnProgram tarn(session, kNoSessionBus);
    const std::string macro = tarn.writeMacro(
        "pause.mcr", "TimeOut 20\r\nSetFocus E2E Pause,2\r\nSend a{BREAK}b\r\nSend c\r\n");
    tarn.start({"--batch", macro});
    ASSERT_EQ(tarn.waitForExit(30s), 0) << tarn.err();
    EXPECT_EQ(tarn.err(), "");
    EXPECT_TRUE(testing::waitUntil([&] { return target.text("main") == "abc"; }, 10s));
    constexpr int kQtKeyPause = 0x01000008;
    int pauses = 0;
    for (const testing::KeyRecord& key : target.keys("main"))
        pauses += key.press && key.key == kQtKeyPause;
    EXPECT_EQ(pauses, 1);
    expectKeyboardAsBefore();
}

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
};

class Stop : public Unattended, public ::testing::WithParamInterface<StopWay> {};

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
    const StopWay& way = GetParam();
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
        if (way.signal) {
            ::kill(tarn.pid(), way.signal);
        } else if (way.command) {
            TarnProgram stopper(
                session, {kNoSessionBus[0], "XDG_RUNTIME_DIR=" + tarn.folder() + "/runtime"});
            stopper.start({"--stop"});
            EXPECT_EQ(stopper.waitForExit(20s), 0) << stopper.err();
        } else {
            desktop.type("{BREAK}");  // from the server, to whoever holds the key
        }
        // Far less than the 600 seconds the statement had to go.
        ASSERT_EQ(tarn.waitForExit(20s), way.status) << tarn.err();
        EXPECT_EQ(tarn.err(), macro + ":2: Stopped by " + way.by + "\n");
        expectKeyboardAsBefore();
    }
    if (way.command) {  // with no run under way there is nothing to stop
        TarnProgram stopper(session, kNoSessionBus);
        stopper.start({"--stop"});
        EXPECT_EQ(stopper.waitForExit(20s), 1);
        EXPECT_EQ(stopper.err(), "tarn: no macro is running\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, Stop, ::testing::ValuesIn(kStopWays),
                         [](const auto& info) { return std::string(info.param.name); });

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
    const std::size_t typedBefore = size(out);
    tarn.start({"--batch", tarn.writeMacro("killed.mcr", "SetFocus tarn-map,2\r\nSend " + chinese +
                                                             chinese + chinese + "\r\n")});
    ASSERT_TRUE(testing::waitUntil([&] { return size(out) > typedBefore + 600; }, 60s))
        << tarn.err();
    ::kill(tarn.pid(), SIGKILL);
    ASSERT_EQ(tarn.waitForExit(20s), 128 + SIGKILL);
    EXPECT_FALSE(session.keyboardMap() == before) << "the killed run left its bindings";
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
    const std::string out = startXterm("tarn-target", &targetPid);
    TarnProgram tarn(session, kNoSessionBus);
    const std::string macro = tarn.writeMacro(
        "closed.mcr", "SetFocus tarn-target,2\r\nSend {a 10000}{b 10000}{c 10000}\r\n");
    tarn.start({"--batch", macro});
    ASSERT_TRUE(testing::waitUntil([&] { return size(out) > 100; }, 30s)) << tarn.err();
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
// saying so, wherever the run was.
TEST(UnattendedDisplay, LosingTheDisplayEndsTheRunAtOnce) {
    for (const auto& place : placesAfter("Rem a")) {
        SCOPED_TRACE(place.name);
        XSession session(WindowManager::Openbox);
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
        EXPECT_NE(tarn.err().find(macro + ":2: error: the X display closed [1013]\n"),
                  std::string::npos)
            << tarn.err();
    }
}

}  // namespace
}  // namespace tarn::e2e
