// SPDX-License-Identifier: GPL-3.0-or-later
// Starting programs and documents, ending processes and the session, against
// the fakes: numbers, descriptions and sources of every failure.
#include <gtest/gtest.h>

#include "Harness.h"

namespace tarn::test {
namespace {

TEST(Run, AFailureOfTheStartGetsRunInItsSource) {
    Harness h;
    h.fakes.processes.startFailure = runtimeFailure(kFileNotFound);
    EXPECT_EQ(describeFailure(h.run("Run nosuchprogram\n")),
              "53 \"File not found\" at \"Tarn.Run.Process.RunMacro\"");
    h.fakes.processes.startFailure = runtimeFailure(kPermissionDenied);
    EXPECT_EQ(describeFailure(h.run("p = Run ./notexecutable\n")),
              "70 \"Permission denied\" at \"Tarn.Run.GetVarValue.Process.RunMacro\"");
}

TEST(Run, AVariableHoldingShellCharactersIsPassedOnAsText) {
    Harness h;
    ASSERT_FALSE(h.run("arg = \"; rm -rf ~ $(id) | cat\"\nRun arg\n"));
    EXPECT_EQ(h.calls(), (std::vector<std::string>{"start ; rm -rf ~ $(id) | cat"}));
}

// Codes 2, 3, 11 and 31 arise from real files in the platform tests; here the
// ones no file makes, up to the last failing code.
TEST(RunExecute, ResultCodesBecomeFailureFive) {
    const struct {
        int code;
        const char* message;
    } cases[] = {{0, "Out of memory or resources"}, {32, "No error message available"}};
    for (const auto& c : cases) {
        Harness h;
        h.fakes.documents.result = c.code;
        EXPECT_EQ(describeFailure(h.run("RunExecute ,file.xyz\n")),
                  "5 \"Invalid procedure call or argument - RunExecute error number " +
                      std::to_string(c.code) + " - " + c.message +
                      "\" at \".RunExecute.Process.RunMacro\"");
    }
    Harness h;
    h.fakes.documents.result = 33;
    EXPECT_EQ(describeFailure(h.run("RunExecute ,file.xyz\n")), "no failure");
    h.macro.hWnd(77);
    EXPECT_EQ(h.macro.RunExecute("print", "a", "", "", 0), 0);
    EXPECT_EQ(h.fakes.log.back(), "execute 77|print|a|||0");
}

TEST(KillProcess, EndsARunningProcess) {
    Harness h;
    h.fakes.processes.running = {321};
    ASSERT_FALSE(h.run("KillProcess 321\n"));
    EXPECT_EQ(h.calls(), (std::vector<std::string>{"open 321", "terminate 321"}));
    EXPECT_TRUE(h.fakes.processes.running.empty());
}

TEST(KillProcess, RefusesWhatNamesNoProcessOrTarnItself) {
    const struct {
        const char* statement;
        const char* failure;
        std::vector<std::string> calls;
    } cases[] = {
        {"KillProcess 999",
         "1008 \"OpenProcess Error 3\" at \".GetAdjustedProcessHandle",
         {"open 999"}},
        {"KillProcess 1",
         "1008 \"OpenProcess Error 1\" at \".GetAdjustedProcessHandle",
         {"open 1"}},
        // Never handed to the platform: kill() would signal a whole group.
        {"KillProcess 0", "1008 \"OpenProcess Error 3\" at \".GetAdjustedProcessHandle", {}},
        {"KillProcess -1", "1008 \"OpenProcess Error 3\" at \".GetAdjustedProcessHandle", {}},
        {"KillProcess -4242", "1008 \"OpenProcess Error 3\" at \".GetAdjustedProcessHandle", {}},
        {"KillProcess 4242", "1008 \"OpenProcess Error 1\" at \".GetAdjustedProcessHandle", {}},
    };
    for (const auto& c : cases) {
        Harness h;
        h.fakes.processes.running = {4242};
        h.fakes.processes.protectedProcesses = {1};
        EXPECT_EQ(describeFailure(h.run(std::string(c.statement) + "\n")),
                  std::string(c.failure) + ".Process.RunMacro\"")
            << c.statement;
        EXPECT_EQ(h.calls(), c.calls) << c.statement;
    }
}

TEST(KillProcess, AFailedEndIs1009) {
    Harness h;
    h.fakes.processes.running = {50};
    h.fakes.processes.terminateError = 1;
    EXPECT_EQ(describeFailure(h.run("KillProcess 50\n")),
              "1009 \"TerminateProcess Error 1009\" at \".KillProcess.Process.RunMacro\"");
}

TEST(KillProcess, TheOlderFamilyFailsInTheOpenStepWithItsOwnText) {
    Harness h;
    h.fakes.processes.ntFamily = false;
    EXPECT_EQ(describeFailure(h.run("KillProcess 999\n")),
              "1008 \"SetOpenProcess Error 1008\" at \".KillProcess.Process.RunMacro\"");
    EXPECT_EQ(describeFailure(h.run("KillProcess 0\n")),
              "1008 \"SetOpenProcess Error 1008\" at \".KillProcess.Process.RunMacro\"");
}

TEST(ShutDownWindows, AcceptedRequestRaisesShuttingDownOnce) {
    for (int option = 1; option <= 4; ++option) {
        for (bool force : {false, true}) {
            Harness h;
            int events = 0;
            h.macro.ShuttingDown = [&] { ++events; };
            EXPECT_TRUE(h.macro.ShutDownWindows(option, force));
            EXPECT_EQ(events, 1);
            EXPECT_EQ(h.calls(), (std::vector<std::string>{"requestEnd " + std::to_string(option) +
                                                           (force ? " force" : "")}));
        }
    }
}

TEST(ShutDownWindows, RefusedRequestIs1005AndRaisesNothing) {
    Harness h;
    int events = 0;
    h.macro.ShuttingDown = [&] { ++events; };
    h.fakes.session.result = 13;
    EXPECT_EQ(describeFailure(h.run("ShutDownWindows 2,true\n")),
              "1005 \"ExitWindows Error 13\" at \".ExitWindows.Process.RunMacro\"");
    EXPECT_EQ(events, 0);
}

TEST(ShutDownWindows, AnInvalidOptionAsksNothing) {
    Harness h;
    int events = 0;
    h.macro.ShuttingDown = [&] { ++events; };
    EXPECT_EQ(h.run("ShutDownWindows 5\n")->number(), 1002);
    EXPECT_EQ(h.run("ShutDownWindows -1\n")->number(), 1002);
    EXPECT_TRUE(h.calls().empty());
    EXPECT_EQ(events, 0);
}

}  // namespace
}  // namespace tarn::test
