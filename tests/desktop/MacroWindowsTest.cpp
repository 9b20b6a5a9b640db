// SPDX-License-Identifier: GPL-3.0-or-later
// Macro statements that find, focus, close and map windows, run by clsMacro
// against the backends of each desktop: X11 on a real Xvfb, with openbox and
// without a window manager, and Wayland on a headless sway and GNOME Shell. Processes,
// documents and the session are the recording fakes: only windows and keys
// are real here.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "DesktopBackends.h"
#include "Harness.h"
#include "Host.h"
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

// Only a desktop that minimises windows: sway, like X11 without a window
// manager, leaves them as they are.
class MinimisingDesktopTest : public MacroWindowsTest {};

TEST_P(MinimisingDesktopTest, SetFocusRestoresAMinimisedWindow) {
    // Minimised as a taskbar does it: the toolkit would skip the request while
    // it has not yet seen that the window manager restored the window.
    const auto minimize = [&](const std::string& window) {
        ASSERT_EQ(session->run({"xdotool", "windowminimize", "--sync", window}).exitStatus, 0);
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
                                           WindowManager::Sway, WindowManager::GnomeShell),
                         kDesktopName);
INSTANTIATE_TEST_SUITE_P(Desktops, MinimisingDesktopTest, ::testing::Values(WindowManager::Openbox),
                         kDesktopName);

}  // namespace
}  // namespace tarn
