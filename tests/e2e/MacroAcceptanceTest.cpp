// SPDX-License-Identifier: GPL-3.0-or-later
// Acceptance: macro files run by the real tarn program, unattended on each
// desktop (Xvfb with openbox, a headless sway) and from its window on X11,
// against real programs. Each flow states the
// macros, what the target programs must have received, and the trace or the
// exit status that must result.

#include <gtest/gtest.h>
#include <signal.h>

#include "MockLogind.h"
#include "TargetProgram.h"
#include "TarnProgram.h"

namespace tarn::e2e {
namespace {

using testing::TargetProgram;
using testing::WindowManager;
using testing::XSession;

// Places of the player's controls, in twips from the left of its design.
constexpr int kFileBoxX = 2250, kStartX = 6750, kStopX = 7050;

class MacroAcceptance : public ::testing::TestWithParam<WindowManager> {
  protected:
    XSession session{GetParam()};
    Desktop desktop{session};

    // Runs a macro unattended to its end; the exit status.
    std::optional<int> run(TarnProgram& tarn, const std::string& name, const std::string& text) {
        tarn.start({tarn.writeMacro(name, text)});
        return tarn.waitForExit(60s);
    }

    // Types the macro's path into the player's file box and presses Start, as
    // a user would. The box selects all as it gets the focus; once it has it,
    // the user selects all.
    void startFromTheWindow(WindowId player, const std::string& macro, bool focused = false) {
        desktop.activate(player);
        desktop.clickPlayer(player, kFileBoxX);
        desktop.type(focused ? "{END}+{HOME}" + macro : macro);
        desktop.clickPlayer(player, kStartX);
    }
};

// Keys reach the window a macro names, by title or by process, and the
// processes it names are the ones meant: never another of two alike.
TEST_P(MacroAcceptance, RunsReachTheRightWindowAndProcess) {
    TargetProgram notes(session);
    TargetProgram first(session);
    TargetProgram second(session);
    notes.window("notes", "E2E Notes");
    first.window("w", "E2E Twin One");
    second.window("w", "E2E Twin Two");
    TarnProgram tarn(session);

    SCOPED_TRACE("an embedded Run keeps the process of the started program");
    ASSERT_EQ(run(tarn, "run.mcr",
                  "started = Run xterm -T \"E2E Started Program\" -e sleep 120\r\n"
                  "TimeOut 20\r\nw = GetWindowID E2E Started Program,2\r\n"
                  // The window manager gives a new window the focus once it maps
                  // it, which may come after the search found it: the new window
                  // is brought forward first, so that the notes keep the focus
                  // they are given next.
                  "SetFocus started\r\nSetFocus E2E Notes,2\r\nSend started\r\n"),
              0)
        << tarn.err();
    // Closing after the run stored the macro as the last file, in the user's
    // configuration folder.
    EXPECT_NE(platformtest::readFile(tarn.folder() + "/config/Tarn/tarn.ini")
                  .find(tarn.folder() + "/run.mcr"),
              std::string::npos);
    const ProcessId started = desktop.processOf(desktop.waitForWindow("E2E Started Program"));
    ASSERT_GT(started, 0);
    EXPECT_TRUE(
        testing::waitUntil([&] { return notes.text("notes") == std::to_string(started); }, 5s))
        << notes.text("notes") << " is not " << started;
    ::kill(started, SIGTERM);  // the program Tarn started, ended by its ID

    SCOPED_TRACE("SetFocus by title and by process picks the right of two windows");
    ASSERT_EQ(run(tarn, "twins.mcr",
                  "TimeOut 20\r\nSetFocus E2E Twin Two,2\r\nSend by title\r\nSetFocus " +
                      std::to_string(first.pid()) +
                      "\r\nSend by process\r\n"
                      "SetFocus twin,1\r\n"  // both match: One, brought up last, is higher
                      "Send {+}\r\n"),
              0);
    EXPECT_TRUE(testing::waitUntil([&] { return second.text("w") == "by title"; }, 5s))
        << second.text("w");
    EXPECT_TRUE(testing::waitUntil([&] { return first.text("w") == "by process+"; }, 5s))
        << first.text("w");

    SCOPED_TRACE("KillProcess ends the program that owns the window found");
    const pid_t victim = testing::startTerminal(session, "E2E Victim");
    const pid_t bystander = testing::startTerminal(session, "E2E Bystander");
    desktop.waitForWindow("E2E Victim");
    desktop.waitForWindow("E2E Bystander");
    ASSERT_EQ(run(tarn, "kill.mcr",
                  "TimeOut 20\r\nw = GetWindowID E2E Victim,2\r\np = GetProcessID w\r\n"
                  "KillProcess p\r\n"),
              0);
    EXPECT_TRUE(testing::waitUntil([&] { return !session.running(victim); }, 5s));
    EXPECT_TRUE(session.running(bystander));
}

// From the window: every line traced, the retried run too, and the window
// stays; Stop ends a Wait and the run before its next line (a Start during a
// run is ignored); a ShutDownWindows that logind accepts ends the player.
// The player's buttons are pressed with xdotool, which reaches X11 windows only.
class MacroAcceptanceByHand : public MacroAcceptance {};

TEST_P(MacroAcceptanceByHand, InteractiveRunsTraceEveryLineStopEndsAWaitAndShutDownEndsThePlayer) {
    platformtest::MockLogind logind;
    logind.addMethodsWithFlags();
    logind.guard();
    TarnProgram tarn(session, {"DBUS_SYSTEM_BUS_ADDRESS=" + logind.address()});
    const std::string traced =
        tarn.writeMacro("traced.mcr", "Rem first\r\n\r\n  x = 1\r\nBad line\r\n");
    const std::string stopped =
        tarn.writeMacro("stop.mcr", "Rem first\r\nWait 30\r\nRem never reached\r\n");
    const std::string reboot = tarn.writeMacro("reboot.mcr", "ShutDownWindows 2\r\nRem after\r\n");
    tarn.start();
    const WindowId player = desktop.waitForWindow("Tarn - Interactive Screen");
    startFromTheWindow(player, traced);
    desktop.answerRetry(true);
    desktop.answerRetry(false);
    const std::string run = "Rem first\r\n\r\n  x = 1\r\nBad line\r\n";
    const std::string error = "Error 1001 - Invalid macro command\r\n";
    EXPECT_TRUE(testing::waitUntil([&] { return tarn.trace() == run + error + run + error; }, 5s))
        << tarn.trace();
    EXPECT_TRUE(tarn.running());  // interactive: the window stays after the run

    startFromTheWindow(player, stopped, true);
    ASSERT_TRUE(testing::waitUntil([&] { return tarn.trace() == "Rem first\r\nWait 30\r\n"; }, 20s))
        << tarn.trace();
    desktop.clickPlayer(player, kStopX);
    // Had Stop not ended the Wait, this Start would be ignored for its thirty seconds.
    startFromTheWindow(player, reboot, true);
    EXPECT_EQ(tarn.waitForExit(20s), 0);  // the player closed itself
    EXPECT_EQ(logind.calls(platformtest::MockLogind::kManagerPath),
              (std::vector<std::string>{"RebootWithFlags(1)"}));
    EXPECT_EQ(tarn.trace(), "ShutDownWindows 2\r\n");
}

const auto kDesktopName = [](const auto& info) { return std::string(testing::name(info.param)); };
INSTANTIATE_TEST_SUITE_P(Desktops, MacroAcceptance,
                         ::testing::Values(WindowManager::Openbox, WindowManager::Sway),
                         kDesktopName);
INSTANTIATE_TEST_SUITE_P(Desktops, MacroAcceptanceByHand, ::testing::Values(WindowManager::Openbox),
                         kDesktopName);

}  // namespace
}  // namespace tarn::e2e
