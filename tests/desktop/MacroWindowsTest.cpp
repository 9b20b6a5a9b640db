// SPDX-License-Identifier: GPL-3.0-or-later
// Macro statements that find, focus, close and map windows, run by clsMacro
// against the backends of each desktop: X11 on a real Xvfb, with openbox and
// without a window manager, and Wayland on a headless sway, KWin and GNOME
// Shell. Processes, documents and the session are the recording fakes (but
// for the display server's own process): only windows and keys are real
// here.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "DesktopBackends.h"
#include "Harness.h"
#include "Host.h"
#include "PosixProcesses.h"
#include "TargetProgram.h"
#include "XSession.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;
using namespace testing;  // the desktop test fixture

class MacroWindowsTest : public ::testing::TestWithParam<WindowManager> {
  protected:
    void SetUp() override {
        session = std::make_unique<XSession>(GetParam());
        auto backends = testing::connectBackends(*session, host);
        windows = std::move(backends.windows);
        keyboard = std::move(backends.keyboard);
        ASSERT_NE(windows, nullptr);
        ASSERT_NE(keyboard, nullptr);
        macro = std::make_unique<clsMacro>(
            Platform{*windows, *keyboard, fakes.processes, fakes.documents, fakes.session, host});
        target = std::make_unique<TargetProgram>(*session);
    }

    std::optional<Failure> process(const std::string& line) {
        return test::Harness::failureOf([&] { macro->Process(line); });
    }
    std::string var(const std::string& name) {
        const std::string* value = macro->Variables().find(name);
        return value ? *value : "<unset>";
    }
    std::string getWindowId(const std::string& arguments) {
        auto failure = process("w = GetWindowID " + arguments);
        EXPECT_FALSE(failure) << arguments;
        return var("w");
    }
    std::string show(const std::string& name, const std::string& title) {
        const WindowId id = testing::showWindow(*session, *windows, *target, name, title);
        EXPECT_NE(id, 0) << title;
        return std::to_string(id);
    }

    PlainHost host;
    fake::FakePlatform fakes;  // only its processes, documents and session are used
    std::unique_ptr<XSession> session;
    std::unique_ptr<WindowSystem> windows;
    std::unique_ptr<Keyboard> keyboard;
    std::unique_ptr<clsMacro> macro;
    std::unique_ptr<TargetProgram> target;
};

TEST_P(MacroWindowsTest, GetWindowIdFindsRealAndLateTitlesAndKeysLandInTheWindowFocused) {
    auto editor = show("editor", "Grüße aus Köln – Editor");
    auto greek = show("greek", "Δοκιμή Ελληνικά");
    auto notes = show("notes", "notes.txt - Notes");
    ASSERT_FALSE(process("TimeOut 1"));
    const struct {
        const char* arguments;
        std::string expected;
    } cases[] = {
        {"\"grüße aus\"", editor},      // starts with, case folded
        {"\"grüße aus\",0,true", "0"},  // not with case sensitivity
        {"köln,1", editor},             // contains
        {"δοκιμή ελληνικά,2", greek},   // matches, Greek case folded
        {"\"- NOTES\",3", notes},       // ends with
    };
    for (const auto& c : cases)
        EXPECT_EQ(getWindowId(c.arguments), c.expected) << c.arguments;
    for (const char* name : {"editor", "notes", "editor"}) {
        const bool first = std::string(name) == "editor";
        target->clear("editor");
        target->clear("notes");
        ASSERT_FALSE(process(first ? "SetFocus köln,1" : "SetFocus \"NOTES.TXT\""));
        ASSERT_FALSE(process("Send Grüße €{ENTER}"));
        EXPECT_TRUE(waitUntil([&] { return target->text(name) == "Grüße €"; }, 5s)) << name;
        EXPECT_EQ(target->text(first ? "notes" : "editor"), "");
    }
    // GetWindowID waits up to the time-out for a window to appear; with none
    // it searches nothing at all.
    ASSERT_FALSE(process("TimeOut 5"));
    target->after(1s, "window late Late arrival");
    const std::string late = getWindowId("\"Late arrival\",2");
    EXPECT_EQ(late, std::to_string(testing::waitForTitle(*windows, "Late arrival")));
    ASSERT_FALSE(process("TimeOut 0"));
    EXPECT_EQ(getWindowId("\"Late arrival\""), "0");
}

// Of two matches the higher is found. A hidden window stays on X11,
// withdrawn; on Wayland it is gone.
TEST_P(MacroWindowsTest, TheHigherOfTwoMatchesIsFoundAndHiddenOnesOnlyWhenAskedFor) {
    auto lower = show("a", "Twin");
    auto upper = show("b", "Twin");
    EXPECT_TRUE(waitUntil([&] { return getWindowId("Twin,2") == upper; }, 5s));
    ASSERT_FALSE(process("SetFocus \"Twin\",2"));
    EXPECT_TRUE(target->becomesActive("b"));
    ASSERT_TRUE(windows->setForeground(std::stoi(lower)));
    EXPECT_TRUE(waitUntil([&] { return getWindowId("Twin,2") == lower; }, 5s));
    // Each window is listed once, not also through its window manager's frame.
    std::vector<std::string> titles;
    macro->FillListWithWindowTitles(titles, false);
    EXPECT_EQ(std::count(titles.begin(), titles.end(), "Twin"), 2);

    auto hidden = show("helper", "Hidden helper");
    const bool kept = !session->wayland();
    target->hide("helper");
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const auto& w : windows->topLevelWindows())
                if (std::to_string(w.id) == hidden) return kept && !w.visible;
            return !kept;
        },
        5s));
    ASSERT_FALSE(process("TimeOut 1"));
    EXPECT_EQ(getWindowId("\"Hidden helper\""), "0");
    EXPECT_EQ(getWindowId("\"Hidden helper\",2,false,false"), kept ? hidden : "0");
    std::vector<std::string> all, shown;
    macro->FillListWithWindowTitles(all, false);
    macro->FillListWithWindowTitles(shown, true);
    EXPECT_EQ(std::count(all.begin(), all.end(), "Hidden helper"), kept ? 1 : 0);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "Hidden helper"), 0);
    if (!kept) return;
    EXPECT_TRUE(windows->isWindow(std::stoi(hidden)));
    target->show("helper");
    EXPECT_TRUE(waitUntil([&] { return getWindowId("\"Hidden helper\"") == hidden; }, 5s));
}

// Windows that were there before Tarn connected: of several that match, the
// newest is found on every desktop (none of them active since), and twins of
// one program and title each map to their own process and come forward by it.
TEST_P(MacroWindowsTest, WindowsFromBeforeTarnAreFoundNewestFirstAndTwinsByTheirProcess) {
    TargetProgram first(*session), second(*session);
    for (const char* name : {"A", "B", "C"})
        show(name, std::string("Twin ") + name);
    for (TargetProgram* twin : {&first, &second})
        ASSERT_NE(testing::showWindow(*session, *windows, *twin, "same", "Same title"), 0);
    show("bystander", "Bystander");  // has the focus; no twin is active

    auto fresh = testing::connectBackends(*session, host);
    ASSERT_NE(fresh.windows, nullptr);
    clsMacro late(Platform{*fresh.windows, *fresh.keyboard, fakes.processes, fakes.documents,
                           fakes.session, host});
    ASSERT_FALSE(test::Harness::failureOf([&] { late.Process("w = GetWindowID Twin"); }));
    const std::string* found = late.Variables().find("w");
    ASSERT_NE(found, nullptr);
    std::string title;
    for (const TopLevelWindow& w : fresh.windows->topLevelWindows())
        if (std::to_string(w.id) == *found) title = w.title;
    EXPECT_EQ(title, "Twin C");

    std::vector<ProcessId> owners;
    for (const TopLevelWindow& w : fresh.windows->topLevelWindows()) {
        if (w.title != "Same title") continue;
        const ProcessId pid = fresh.windows->processOf(w.id);
        owners.push_back(pid);
        ASSERT_TRUE(pid == first.pid() || pid == second.pid()) << pid;
        ASSERT_FALSE(
            test::Harness::failureOf([&] { late.Process("SetFocus " + std::to_string(pid)); }));
        EXPECT_TRUE((pid == first.pid() ? first : second).becomesActive("same")) << pid;
    }
    std::sort(owners.begin(), owners.end());
    EXPECT_EQ(owners, (std::vector<ProcessId>{std::min(first.pid(), second.pid()),
                                              std::max(first.pid(), second.pid())}));
}

// An X11 program's window, under XWayland on sway: found, mapped to its
// process, brought forward and typed into like any other.
TEST_P(MacroWindowsTest, AnX11ProgramsWindowIsOneLikeAnyOther) {
    if (session->display().empty()) GTEST_SKIP() << "this desktop runs no X11 programs";
    pid_t xterm = -1;
    const std::string out =
        testing::startTerminalToFile(*session, "X11 terminal", true, &xterm, Terminal::X11);
    ASSERT_FALSE(process("TimeOut 15"));
    const std::string id = getWindowId("\"X11 terminal\",2");
    ASSERT_NE(id, "0");
    ASSERT_FALSE(process("p = GetProcessID " + id));
    EXPECT_EQ(var("p"), std::to_string(xterm));
    show("other", "Other window");
    // The desktop gives a new window the focus in its own time, which must
    // not come after the SetFocus below.
    if (session->manager() != WindowManager::None) {
        ASSERT_TRUE(target->becomesActive("other"));
    }
    ASSERT_FALSE(process("SetFocus " + std::to_string(xterm)));
    ASSERT_FALSE(process("Send héllo €uro"));
    EXPECT_TRUE(waitUntil([&] { return platformtest::readFile(out) == "héllo €uro"; }, 10s))
        << platformtest::readFile(out) << " | other window: " << target->text("other");
    session->kill(xterm);
}

// Only a desktop that minimises windows (openbox, KWin): sway, like X11
// without a window manager, leaves them as they are.
class MinimisingDesktopTest : public MacroWindowsTest {};

TEST_P(MinimisingDesktopTest, SetFocusRestoresAMinimisedWindow) {
    // Minimised as a taskbar does it: the toolkit would skip the request while
    // it has not yet seen that the window manager restored the window.
    const auto minimize = [&](const std::string& window) {
        ASSERT_TRUE(testing::minimize(*session, *windows, std::stoi(window)));
        ASSERT_TRUE(waitUntil([&] { return windows->isIconic(std::stoi(window)); }, 5s));
    };
    show("other", "Other window");
    auto id = show("mini", "Minimised mail");
    minimize(id);
    // Minimised still counts as shown.
    EXPECT_EQ(getWindowId("\"Minimised mail\""), id);
    ASSERT_FALSE(process("SetFocus mail,1"));
    EXPECT_FALSE(windows->isIconic(std::stoi(id)));
    EXPECT_TRUE(target->becomesActive("mini"));
    // Activation alone brings a minimised window back too.
    ASSERT_TRUE(windows->setForeground(std::stoi(show("next", "Next window"))));
    minimize(id);
    ASSERT_TRUE(windows->setForeground(std::stoi(id)));
    EXPECT_FALSE(windows->isIconic(std::stoi(id)));
    EXPECT_TRUE(target->becomesActive("mini"));
    // And a SetFocus by the process whose only window it is.
    pid_t terminal = testing::startTerminal(*session, "Minimised terminal");
    const std::string term = getWindowId("\"Minimised terminal\"");
    minimize(term);
    ASSERT_FALSE(process("SetFocus " + std::to_string(terminal)));
    EXPECT_FALSE(windows->isIconic(std::stoi(term)));
    session->kill(terminal);
}

// SetFocus and GetProcessID by the program that owns the window; a process
// with no window, or only a hidden one, cannot be focused.
TEST_P(MacroWindowsTest, SetFocusAndGetProcessIdGoByTheProgramThatOwnsTheWindow) {
    auto id = show("app", "Target program");
    pid_t terminal = testing::startTerminal(*session, "Started terminal");
    // The terminal's window may not be there yet: SetFocus waits for it.
    ASSERT_FALSE(process("SetFocus " + std::to_string(terminal)));
    EXPECT_TRUE(waitUntil([&] { return !target->active("app"); }, 5s));
    ASSERT_FALSE(process("SetFocus " + std::to_string(target->pid())));
    EXPECT_TRUE(target->becomesActive("app"));

    ASSERT_FALSE(process("TimeOut 10"));
    auto term = getWindowId("\"Started terminal\",2");
    ASSERT_NE(term, "0");
    ASSERT_FALSE(process("p = GetProcessID " + id));
    EXPECT_EQ(var("p"), std::to_string(target->pid()));
    ASSERT_FALSE(process("p = GetProcessID " + term));
    EXPECT_EQ(var("p"), std::to_string(terminal));
    session->kill(terminal);
    EXPECT_TRUE(waitUntil([&] { return !windows->isWindow(std::stoi(term)); }, 5s));
    ASSERT_FALSE(process("p = GetProcessID " + term));
    EXPECT_EQ(var("p"), "0");
    EXPECT_EQ(windows->processOf(0), 0);
    EXPECT_EQ(windows->processOf(-5), 0);

    pid_t windowless = session->spawn({"sleep", "600"});
    target->hide("app");
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const auto& w : windows->topLevelWindows())
                if (w.title == "Target program" && w.visible) return false;
            return true;
        },
        5s));
    ASSERT_FALSE(process("TimeOut 1"));
    for (pid_t pid : {windowless, target->pid()}) {
        auto failure = process("SetFocus " + std::to_string(pid));
        ASSERT_TRUE(failure) << pid;
        EXPECT_EQ(failure->number(), 5);
        EXPECT_EQ(failure->source(), "Tarn.SetFocus.Process");
    }
    session->kill(windowless);
}

class ManagedDesktopTest : public MacroWindowsTest {};

// SetFocus by title confirms, as by process: a window that the window manager
// does not make active (here one that takes no keyboard focus) is asked again
// until the time-out, and then the statement fails with 5; keys sent next
// would go to another window.
TEST_P(ManagedDesktopTest, SetFocusByTitleFailsWhenTheWindowNeverBecomesActive) {
    show("bystander", "Bystander");
    const WindowId shy = target->shyWindow("shy", "Shy window");
    ASSERT_TRUE(testing::waitShown(*windows, shy));
    ASSERT_FALSE(process("SetFocus \"Bystander\""));
    ASSERT_TRUE(target->becomesActive("bystander"));
    ASSERT_FALSE(process("TimeOut 3"));
    const std::optional<Failure> failure = process("SetFocus \"Shy window\"");
    ASSERT_TRUE(failure) << "SetFocus succeeded";
    EXPECT_EQ(failure->number(), 5);
    EXPECT_EQ(failure->source(), "Tarn.SetFocus.Process");
    EXPECT_FALSE(target->active("shy"));
    // A title that is not there at all is still no error.
    ASSERT_FALSE(process("TimeOut 1"));
    EXPECT_FALSE(process("SetFocus \"No such window\""));
}

// SetFocus by title confirms: with the window manager too busy to answer in
// time (here stopped outright, the limit of a busy one) the first request
// goes unanswered; SetFocus asks again until the window is active, and the
// keys that follow reach it, not the window that was active before.
TEST_P(ManagedDesktopTest, SetFocusByTitleWaitsForABusyWindowManager) {
    show("other", "Other");
    std::string cap84;
    for (int n = 80; n < 90; ++n) {
        const std::string id = show("cap" + std::to_string(n), "Cap" + std::to_string(n));
        if (n == 84) cap84 = id;
    }
    ASSERT_FALSE(process("SetFocus \"Other\""));
    ASSERT_TRUE(target->becomesActive("other"));
    ASSERT_FALSE(process("TimeOut 60"));

    // The requests to activate a window go to the root window, where any
    // client may see them.
    xcb_connection_t* c = xcb_connect(session->display().c_str(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    const char name[] = "_NET_ACTIVE_WINDOW";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    ASSERT_NE(atom, nullptr);
    const xcb_atom_t activate = atom->atom;
    std::free(atom);

    const pid_t manager = session->windowManagerPid();
    ASSERT_EQ(::kill(manager, SIGSTOP), 0);
    // The manager goes on once Cap84 was asked for a second time (the first
    // request was not answered in time), or SetFocus has given up asking.
    std::atomic<bool> done{false};
    int requests = 0;
    std::thread watcher([&] {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!done && requests < 2 && std::chrono::steady_clock::now() < deadline) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
                    message->type == activate && std::to_string(message->window) == cap84) {
                    ++requests;
                }
                std::free(event);
            }
            pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
            ::poll(&fd, 1, 50);
        }
        ::kill(manager, SIGCONT);
    });
    const std::optional<Failure> setFocus = process("SetFocus \"Cap84\"");
    const std::optional<Failure> send = process("Send hello~");
    done = true;
    watcher.join();
    xcb_disconnect(c);
    EXPECT_FALSE(setFocus);
    EXPECT_FALSE(send);
    EXPECT_GE(requests, 2) << "SetFocus did not ask again";
    EXPECT_TRUE(waitUntil([&] { return target->text("cap84") == "hello"; }, 10s))
        << target->text("cap84");
    EXPECT_EQ(target->text("other"), "");
}

// The display's own server is no program a macro may end, like Tarn itself:
// ending it would end every window on the display, Tarn's included.
TEST(MacroDisplayServerTest, KillProcessRefusesTheDisplaysServer) {
    PlainHost host;
    fake::FakePlatform fakes;
    posix::PosixProcesses processes;
    XSession session(WindowManager::None);
    auto backends = testing::connectBackends(session, host);
    ASSERT_NE(backends.windows, nullptr);
    ASSERT_NE(backends.keyboard, nullptr);
    clsMacro macro(Platform{*backends.windows, *backends.keyboard, processes, fakes.documents,
                            fakes.session, host});
    const std::optional<Failure> failure = test::Harness::failureOf(
        [&] { macro.Process("KillProcess " + std::to_string(session.serverPid())); });
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->number(), 1008);
    EXPECT_EQ(failure->description(), "OpenProcess Error 1");
    EXPECT_EQ(kill(session.serverPid(), 0), 0);
    EXPECT_FALSE(backends.windows->displayClosed());
}

TEST_P(MacroWindowsTest, CloseWindowReturnsAtOnceWhenTheWindowAsksFirst) {
    auto id = show("ask", "Unsaved work");
    target->askClose("ask");
    ASSERT_FALSE(process("CloseWindow " + id));
    EXPECT_TRUE(macro->CloseWindow(std::stoi(id)));  // still there right after the request
    EXPECT_TRUE(waitUntil([&] { return target->closeRequests("ask") == 2; }, 5s));
    EXPECT_TRUE(windows->isWindow(std::stoi(id)));

    auto plain = show("plain", "Closes at once");
    ASSERT_FALSE(process("CloseWindow " + plain));
    EXPECT_TRUE(waitUntil([&] { return !windows->isWindow(std::stoi(plain)); }, 5s));
}

const auto kDesktopName = [](const auto& info) { return std::string(testing::name(info.param)); };
INSTANTIATE_TEST_SUITE_P(Desktops, MacroWindowsTest,
                         ::testing::Values(WindowManager::None, WindowManager::Openbox,
                                           WindowManager::Sway, WindowManager::KWin,
                                           WindowManager::GnomeShell),
                         kDesktopName);
INSTANTIATE_TEST_SUITE_P(Desktops, MinimisingDesktopTest,
                         ::testing::Values(WindowManager::Openbox, WindowManager::KWin),
                         kDesktopName);
INSTANTIATE_TEST_SUITE_P(Desktops, ManagedDesktopTest, ::testing::Values(WindowManager::Openbox),
                         kDesktopName);

}  // namespace
}  // namespace tarn
