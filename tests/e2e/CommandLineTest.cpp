// The tarn program's command line where no macro runs: the conventions of a
// Linux program, and a clear word when there is no X display to work on.

#include <gtest/gtest.h>

#include "TarnProgram.h"

namespace tarn::e2e {
namespace {

TEST(CommandLine, VersionAndHelpNeedNoDisplay) {
    TarnProgram version("");
    version.start({"--version"});
    ASSERT_EQ(version.waitForExit(20s), 0);
    EXPECT_EQ(version.out(), "Tarn 2.0.3\n");

    TarnProgram help("");
    help.start({"--help"});
    ASSERT_EQ(help.waitForExit(20s), 0);
    EXPECT_EQ(help.out().rfind("Usage: tarn [MACRO-FILE]\n", 0), 0u) << help.out();
}

TEST(CommandLine, CheckNeedsNoDisplayAndRunsNothing) {
    TarnProgram check("");
    const std::string macro = check.writeMacro("m.mcr", "Run xterm\r\nSend {BOGUS}\r\n");
    check.start({"--check", macro});
    ASSERT_EQ(check.waitForExit(20s), 1);
    EXPECT_EQ(check.out(), macro +
                               ":2:6: error 5: Invalid procedure call or argument (Send "
                               "cannot read these keys)\n");
}

TEST(CommandLine, WithoutADisplayOneClearLineAndAFailureStatus) {
    // No DISPLAY at all, and a display no server answers.
    for (const char* display : {"", ":65000"}) {
        TarnProgram tarn(display);
        tarn.start({tarn.writeMacro("m.mcr", "Rem nothing\r\n")});
        const auto status = tarn.waitForExit(20s);
        ASSERT_TRUE(status.has_value()) << display;
        EXPECT_NE(*status, 0) << display;
        EXPECT_EQ(tarn.out(), "") << display;
        const std::string err = tarn.err();
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;  // one line
        EXPECT_NE(err.find("X display"), std::string::npos) << err;
    }
}

}  // namespace
}  // namespace tarn::e2e
