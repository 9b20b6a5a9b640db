// SPDX-License-Identifier: GPL-3.0-or-later
// Starting programs and documents and ending processes, against the fakes:
// numbers, descriptions and sources of every failure.
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

// 4242 is Tarn itself, 321 and 50 run (50 fails to end), 1 is protected.
TEST(KillProcess, EndsARunningProcessAndRefusesWhatNamesNoneOrTarnItself) {
    const std::string open = "1008 \"OpenProcess Error ";
    const struct {
        const char* statement;
        std::string failure;
        std::vector<std::string> calls;
    } cases[] = {
        {"KillProcess 321", "", {"open 321", "terminate 321"}},
        {"KillProcess 999", open + "3\" at \".GetAdjustedProcessHandle", {"open 999"}},
        {"KillProcess 1", open + "1\" at \".GetAdjustedProcessHandle", {"open 1"}},
        // Never handed to the platform: kill() would signal a whole group.
        {"KillProcess 0", open + "3\" at \".GetAdjustedProcessHandle", {}},
        {"KillProcess -1", open + "3\" at \".GetAdjustedProcessHandle", {}},
        {"KillProcess -4242", open + "3\" at \".GetAdjustedProcessHandle", {}},
        {"KillProcess 4242", open + "1\" at \".GetAdjustedProcessHandle", {}},  // Tarn itself
        {"KillProcess 50",
         "1009 \"TerminateProcess Error 1009\" at \".KillProcess",
         {"open 50", "terminate 50"}},
    };
    for (const auto& c : cases) {
        Harness h;
        h.fakes.processes.running = {4242, 321, 50};
        h.fakes.processes.protectedProcesses = {1};
        if (std::string(c.statement) == "KillProcess 50") h.fakes.processes.terminateError = 1;
        EXPECT_EQ(describeFailure(h.run(std::string(c.statement) + "\n")),
                  c.failure.empty() ? "no failure" : c.failure + ".Process.RunMacro\"")
            << c.statement;
        EXPECT_EQ(h.fakes.log, c.calls) << c.statement;
    }
}

}  // namespace
}  // namespace tarn::test
