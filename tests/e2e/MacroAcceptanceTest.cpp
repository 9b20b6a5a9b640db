// SPDX-License-Identifier: GPL-3.0-or-later
// Acceptance: macro files run by the real tarn program, unattended and from its
// window, under Xvfb with openbox, against real programs. Each case states the
// macro, what the target program must have received, and the trace or the
// exit status that must result.

#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "MockLogind.h"
#include "TargetProgram.h"
#include "TarnProgram.h"

namespace tarn::e2e {
namespace {

using testing::TargetProgram;
using testing::WindowManager;
using testing::XSession;

// Places in the player window, in twips of its 7275-twips-wide design. The
// window grows the whole design by one factor until the desktop's font fits,
// so a place is the same share of the window's width at any font and DPI.
constexpr int kDesignWidth = 7275, kButtonsY = 14;
constexpr int kFileBoxX = 2250, kStartX = 6750, kStopX = 7050;

class MacroAcceptance : public ::testing::Test {
  protected:
    XSession session{WindowManager::Openbox};
    Desktop desktop{session};

    // Starts the player window, types the macro's path into its file box and
    // presses Start, as a user would; returns the player's window.
    WindowId startFromTheWindow(TarnProgram& tarn, const std::string& macro) {
        tarn.start();
        const WindowId player = desktop.waitForWindow("Tarn - Interactive Screen");
        desktop.activate(player);
        desktop.click(player, at(player, kFileBoxX), kButtonsY);  // the box selects all on focus
        desktop.type(macro);
        desktop.click(player, at(player, kStartX), kButtonsY);
        return player;
    }

    int at(WindowId player, int twips) { return desktop.width(player) * twips / kDesignWidth; }

    void closeThePlayer(WindowId player) {
        desktop.activate(player);
        desktop.type("%{F4}");
    }
};

TEST_F(MacroAcceptance, VariablesReadBackThroughSend) {
    TargetProgram target(session);
    target.window("notes", "E2E Notes");
    TarnProgram tarn(session);
    const std::string macro = tarn.writeMacro("variables.mcr",
                                              "TimeOut 20\r\n"
                                              "SetFocus E2E Notes,2\r\n"
                                              "quoted = \"a b\"\r\n"
                                              "plain = word\r\n"
                                              "whole = 5\r\n"
                                              "negative = -3\r\n"
                                              "half = .5\r\n"
                                              "notStandard = 5.0\r\n"
                                              "padded = 05\r\n"
                                              "Send quoted\r\nSend |\r\n"
                                              "Send PLAIN\r\nSend |\r\n"
                                              "Send whole\r\nSend |\r\n"
                                              "Send negative\r\nSend |\r\n"
                                              "Send half\r\nSend |\r\n"
                                              "Send notStandard\r\nSend |\r\n"
                                              "Send padded\r\n");
    tarn.start({macro});
    ASSERT_EQ(tarn.waitForExit(60s), 0) << tarn.err();
    // Closing after the run stored the macro as the last file.
    EXPECT_NE(platformtest::readFile(tarn.folder() + "/config/Tarn/tarn.ini").find(macro),
              std::string::npos);
    EXPECT_TRUE(testing::waitUntil(
        [&] { return target.text("notes") == "a b| word|5|-3|0.5| 5.0| 05"; }, 5s))
        << target.text("notes");
}

TEST_F(MacroAcceptance, EmbeddedRunKeepsTheProcessOfTheStartedProgram) {
    TargetProgram target(session);
    target.window("notes", "E2E Notes");
    TarnProgram tarn(session);
    const std::string macro =
        tarn.writeMacro("run.mcr",
                        "started = Run xterm -T \"E2E Started Program\" -e sleep 120\r\n"
                        "TimeOut 20\r\n"
                        "w = GetWindowID E2E Started Program,2\r\n"
                        // The window manager gives a new window the focus once
                        // it maps it, which may come after the search found it:
                        // the new window is brought forward first, so that the
                        // notes keep the focus they are given next.
                        "SetFocus started\r\n"
                        "SetFocus E2E Notes,2\r\n"
                        "Send started\r\n");
    tarn.start({macro});
    ASSERT_EQ(tarn.waitForExit(60s), 0);
    const WindowId started = desktop.waitForWindow("E2E Started Program");
    const ProcessId pid = desktop.processOf(started);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(testing::waitUntil([&] { return target.text("notes") == std::to_string(pid); }, 5s))
        << target.text("notes") << " is not " << pid;
    ::kill(pid, SIGTERM);  // the program Tarn started, ended by its ID
}

TEST_F(MacroAcceptance, KillProcessEndsTheProgramThatOwnsTheWindowFound) {
    const pid_t victim = testing::startXterm(session, "E2E Victim");
    const pid_t bystander = testing::startXterm(session, "E2E Bystander");
    desktop.waitForWindow("E2E Victim");
    desktop.waitForWindow("E2E Bystander");
    TarnProgram tarn(session);
    const std::string macro = tarn.writeMacro("kill.mcr",
                                              "TimeOut 20\r\n"
                                              "w = GetWindowID E2E Victim,2\r\n"
                                              "p = GetProcessID w\r\n"
                                              "KillProcess p\r\n");
    tarn.start({macro});
    ASSERT_EQ(tarn.waitForExit(60s), 0);
    EXPECT_TRUE(testing::waitUntil([&] { return !session.running(victim); }, 5s));
    EXPECT_TRUE(session.running(bystander));
}

TEST_F(MacroAcceptance, SetFocusByTitleAndByProcessPicksTheRightOfTwoWindows) {
    TargetProgram first(session);
    TargetProgram second(session);
    first.window("w", "E2E Twin One");
    second.window("w", "E2E Twin Two");
    TarnProgram tarn(session);
    const std::string macro =
        tarn.writeMacro("twins.mcr",
                        "TimeOut 20\r\n"
                        "SetFocus E2E Twin Two,2\r\n"
                        "Send by title\r\n"
                        "SetFocus " +
                            std::to_string(first.pid()) +
                            "\r\n"
                            "Send by process\r\n"
                            "SetFocus twin,1\r\n"  // both match: One, brought up last, is higher
                            "Send {+}\r\n");
    tarn.start({macro});
    ASSERT_EQ(tarn.waitForExit(60s), 0);
    EXPECT_TRUE(testing::waitUntil([&] { return second.text("w") == "by title"; }, 5s))
        << second.text("w");
    EXPECT_TRUE(testing::waitUntil([&] { return first.text("w") == "by process+"; }, 5s))
        << first.text("w");
}

TEST_F(MacroAcceptance, AFailureAnsweredNoEndsTheProgramWithAFailureStatus) {
    TargetProgram target(session);
    target.window("notes", "E2E Notes");
    TarnProgram tarn(session);
    const std::string macro = tarn.writeMacro(
        "fails.mcr",
        "TimeOut 20\r\nSetFocus E2E Notes,2\r\nSend x\r\nNoSuch command\r\nSend y\r\n");
    tarn.start({macro});
    desktop.answerRetry(false);
    EXPECT_EQ(tarn.waitForExit(20s), 1);
    EXPECT_EQ(target.text("notes"), "x");
    EXPECT_EQ(tarn.trace(), "<no trace>");  // unattended runs write no trace
}

TEST_F(MacroAcceptance, AFailureAnsweredYesRunsTheMacroAgainFromItsFirstLine) {
    TargetProgram target(session);
    target.window("notes", "E2E Notes");
    TarnProgram tarn(session);
    const std::string macro = tarn.writeMacro(
        "retry.mcr", "TimeOut 20\r\nSetFocus E2E Notes,2\r\nSend x\r\nNoSuch command\r\n");
    tarn.start({macro});
    desktop.answerRetry(true);
    desktop.answerRetry(false);
    EXPECT_EQ(tarn.waitForExit(20s), 1);
    EXPECT_EQ(target.text("notes"), "xx");
}

TEST_F(MacroAcceptance, InteractiveRunTracesEveryLineAndTheRetriedRun) {
    TarnProgram tarn(session);
    const std::string macro =
        tarn.writeMacro("traced.mcr", "Rem first\r\n\r\n  x = 1\r\nBad line\r\n");
    const WindowId player = startFromTheWindow(tarn, macro);
    desktop.answerRetry(true);
    desktop.answerRetry(false);
    const std::string run = "Rem first\r\n\r\n  x = 1\r\nBad line\r\n";
    const std::string error = "Error 1001 - Invalid macro command\r\n";
    EXPECT_TRUE(testing::waitUntil([&] { return tarn.trace() == run + error + run + error; }, 5s))
        << tarn.trace();
    EXPECT_TRUE(tarn.running());  // interactive: the window stays after the run
    closeThePlayer(player);
    EXPECT_EQ(tarn.waitForExit(20s), 0);
}

TEST_F(MacroAcceptance, StopEndsAWaitAndTheRunBeforeItsNextLine) {
    TarnProgram tarn(session);
    const std::string macro =
        tarn.writeMacro("stop.mcr", "Rem first\r\nWait 30\r\nRem never reached\r\n");
    const WindowId player = startFromTheWindow(tarn, macro);
    ASSERT_TRUE(testing::waitUntil([&] { return tarn.trace() == "Rem first\r\nWait 30\r\n"; }, 20s))
        << tarn.trace();
    desktop.click(player, at(player, kStopX), kButtonsY);
    // Closing the window ends the program only once the run is over: well
    // before the thirty seconds of the Wait when Stop ended it.
    closeThePlayer(player);
    EXPECT_EQ(tarn.waitForExit(10s), 0);
    EXPECT_EQ(tarn.trace(), "Rem first\r\nWait 30\r\n");
}

TEST_F(MacroAcceptance, ShutDownWindowsEndsThePlayerOnceLogindAcceptedIt) {
    platformtest::MockLogind logind;
    logind.addMethodsWithFlags();
    logind.guard();
    TarnProgram tarn(session, {"DBUS_SYSTEM_BUS_ADDRESS=" + logind.address()});
    const std::string macro = tarn.writeMacro("reboot.mcr", "ShutDownWindows 2\r\nRem after\r\n");
    startFromTheWindow(tarn, macro);
    EXPECT_EQ(tarn.waitForExit(20s), 0);  // the player closed itself
    EXPECT_EQ(logind.calls(platformtest::MockLogind::kManagerPath),
              (std::vector<std::string>{"RebootWithFlags(1)"}));
    EXPECT_EQ(tarn.trace(), "ShutDownWindows 2\r\n");
}

}  // namespace
}  // namespace tarn::e2e
