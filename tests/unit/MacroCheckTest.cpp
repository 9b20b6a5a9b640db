// SPDX-License-Identifier: GPL-3.0-or-later
// tarn --check: macro texts to the lines it prints and its exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "Harness.h"
#include "MacroCheck.h"
#include "MacroFile.h"

namespace tarn {
namespace {

struct CheckCase {
    const char* text;
    std::string findings;  // the lines printed for the file "m.mcr"
    int status;
};

const std::string kMissingQuote =
    "error: Missing quote in statement (quotes protect commas and must be closed) [5]\n";
const std::string kUnreadableKeys =
    "error: Invalid procedure call or argument (Send cannot read these keys) [5]\n";
const std::string kInvalidCommand = "error: Invalid macro command [1001]\n";

const CheckCase kCases[] = {
    {"Rem \"unbalanced, {\nSetFocus \"Editor\",1,True\nSend Hello{ENTER}~+(ab)\n\nWait\n", "", 0},
    {"x = GetWindowID \"Ed, it\",1\nSend x\nKillProcess GetProcessID x\n", "", 0},
    {"ShutDownWindows\nShutDownWindows 4,true\nTimeOut 12.5\nRunExecute ,\"a,b.txt\",,,3\n", "", 0},
    {"SetFocus \"Untitled, x\n", "m.mcr:1:10: " + kMissingQuote, 1},
    {"x = GetWindowID \"a,1\n", "m.mcr:1:4: " + kMissingQuote, 1},
    {"Send {ENTER}{BOGUS}\n  Send \"+{\"\n",
     "m.mcr:1:6: " + kUnreadableKeys + "m.mcr:2:8: " + kUnreadableKeys, 1},
    {"GetWindowID \"x\"\n\tgetprocessid 5\n",
     "m.mcr:1:1: error: Invalid macro command (it gives a value: uservar = GetWindowID ...) "
     "[1001]\n"
     "m.mcr:2:2: error: Invalid macro command (it gives a value: uservar = GetProcessID ...) "
     "[1001]\n",
     1},
    {"Sned keys\nSend\ttab x\n= 5\n",
     "m.mcr:1:1: " + kInvalidCommand + "m.mcr:2:1: " + kInvalidCommand +
         "m.mcr:3:1: error: Invalid macro command (no variable name before \"=\") [1001]\n",
     1},
    {"Wait 40000\nWait soon\nWait 2.5\n",
     "m.mcr:1:6: error: Overflow (Wait takes whole seconds up to 32767) [6]\n"
     "m.mcr:2:6: error: Type mismatch (Wait takes whole seconds up to 32767) [13]\n",
     1},
    {"TimeOut 1e999\nShutDownWindows 5\nShutDownWindows x\n",
     "m.mcr:1:9: error: Overflow (TimeOut seconds) [6]\n"
     "m.mcr:2:17: error: An invalid parameter was passed to the macro intrepreter's ExitWindows "
     "command (ShutDownWindows' options are 1 to 4) [1002]\n"
     "m.mcr:3:17: error: Type mismatch (ShutDownWindows' options are 1 to 4) [13]\n",
     1},
    {"KillProcess notepad\nCloseWindow 3000000000\ny = \"\n",
     "m.mcr:1:13: error: Type mismatch (KillProcess needs a process ID) [13]\n"
     "m.mcr:2:13: error: Overflow (CloseWindow needs a window ID) [6]\n"
     "m.mcr:3:4: error: Invalid procedure call or argument (a lone quote is no text) [5]\n",
     1},
    // Columns count characters, not bytes.
    {"Rem ü\nÄnder x\n", "m.mcr:2:1: " + kInvalidCommand, 1},
};

TEST(MacroCheck, PrintsWhatARunWouldRefuse) {
    test::TempDir dir;
    for (const CheckCase& c : kCases) {
        SCOPED_TRACE(c.text);
        const std::string path = dir.write("m.mcr", c.text);
        std::ostringstream out, err;
        const int status = CheckMacroFiles({path}, out, err);
        std::string expected = c.findings;
        for (std::size_t at = 0; (at = expected.find("m.mcr:", at)) != std::string::npos;
             at += path.size()) {
            expected.replace(at, 5, path);
        }
        EXPECT_EQ(out.str(), expected);
        EXPECT_EQ(status, c.status);
    }
}

TEST(MacroCheck, HundredVariablesFitAndTheNextNameDoesNot) {
    std::string text;
    for (int i = 1; i <= 101; ++i)
        text += "v" + std::to_string(i) + " = " + std::to_string(i) + "\n";
    text += "V1 = 0\n";  // an existing name, in any case, takes no new slot
    const std::vector<Finding> findings = CheckMacroText(text);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].line, 101);
    EXPECT_EQ(findings[0].number, 9);
}

TEST(MacroCheck, SendFromAVariableIsCountedNotChecked) {
    MacroChecker checker;
    EXPECT_FALSE(checker.checkLine("k = {BOGUS}"));
    EXPECT_FALSE(checker.checkLine("Send k"));
    EXPECT_TRUE(checker.lineDependsOnRun());
    EXPECT_TRUE(checker.checkLine("Send {BOGUS}"));
    EXPECT_EQ(checker.skippedSends(), 1);
}

TEST(MacroCheck, UnreadableFileIsStatusTwoAndTheOthersAreStillChecked) {
    test::TempDir dir;
    const std::string bad = dir.write("bad.mcr", "Foo bar\n");
    std::ostringstream out, err;
    EXPECT_EQ(CheckMacroFiles({(dir.path() / "none.mcr").string(), bad}, out, err), 2);
    EXPECT_NE(err.str().find("none.mcr: error: File not found [53]\n"), std::string::npos);
    EXPECT_EQ(out.str(), bad + ":1:1: error: Invalid macro command [1001]\n");
}

// A newline in the file's name would split the line in two for every tool
// that reads it: control characters are written escaped.
TEST(MacroCheck, AFileNameWithANewlineStaysOnOneLine) {
    test::TempDir dir;
    const std::string path = dir.write("two\nlines\x01.mcr", "Foo bar\n");
    std::ostringstream out, err;
    EXPECT_EQ(CheckMacroFiles({path, path + "-missing"}, out, err), 2);
    const std::string folder = dir.path().string() + "/";
    EXPECT_EQ(out.str(), folder + "two\\nlines\\x01.mcr:1:1: " + kInvalidCommand);
    EXPECT_EQ(err.str(), folder + "two\\nlines\\x01.mcr-missing: error: File not found [53]\n");
}

// Values nested as deep as the run refuses, keys no keyboard can type and
// command lines no program can be started from fail the run before anything
// is done; the check finds them too.
TEST(MacroCheck, AgreesWithTheRunOnDepthAndUntypableKeys) {
    std::string nested = "x = ";
    for (int depth = 1; depth < kMaxValueDepth; ++depth)
        nested += "Run ";
    const struct {
        std::string line;
        std::int32_t number;  // 0: none
    } cases[] = {{nested + "y", 0},
                 {nested + "Run y", 28},
                 {std::string("Send a\0b", 8), 5},
                 {"Send {\x01}", 5},
                 {"Send x\x7fy\t", 0},
                 {std::string("Run /bin/tr\0ue", 14), 5},
                 {std::string("p = Run \"/bin/tr\0ue\"", 20), 5},
                 {"Run \" \t \"", 5},
                 // The run reads the options as a number, then the second
                 // parameter, then the number's range: the check must report
                 // the failure the run meets first.
                 {"ShutDownWindows x,Run \"\"", 13},
                 {"ShutDownWindows 5,Run \"\"", 5},
                 {"ShutDownWindows 5,y", 1002}};
    for (const auto& c : cases) {
        MacroChecker checker;
        const std::optional<Finding> finding = checker.checkLine(c.line);
        test::Harness h;
        const std::optional<Failure> failure = h.process(c.line);
        EXPECT_EQ(finding ? finding->number : 0, c.number) << c.line.substr(0, 40);
        EXPECT_EQ(failure ? failure->number() : 0, c.number) << c.line.substr(0, 40);
    }
}

// A line may hold 1 MiB; a longer one (a file of zero bytes with no line end)
// is refused where it starts, by the check and by the run, without reading on.
TEST(MacroCheck, ALineOverOneMebibyteIsRefusedByCheckAndRun) {
    test::TempDir dir;
    for (const std::size_t length : {kMaxLineBytes, kMaxLineBytes + 1}) {
        const bool tooLong = length > kMaxLineBytes;
        const std::string path =
            dir.write("m.mcr", "Rem a\n" + std::string(length, '\0') + "\nFoo bar\n");
        std::ostringstream out, err;
        EXPECT_EQ(CheckMacroFiles({path}, out, err), 1);
        EXPECT_EQ(out.str(), path + (tooLong ? ":2:1: error: Line too long: a macro line may hold "
                                               "at most 1 MiB (1,048,576 bytes) [1011]\n"
                                             : ":3:1: error: Invalid macro command [1001]\n"));
        test::Harness h;
        const std::optional<Failure> failure = h.runFile(path);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->number(), tooLong ? 1011 : 1001);
        EXPECT_EQ(h.macro.LineNumber(), tooLong ? 2 : 3);
    }
}

// A macro piped in is copied aside before it runs: a pipe that never ends is
// refused once it passes what a macro may hold, by the check and the run.
TEST(MacroCheck, AnEndlessPipeIsRefusedByCheckAndRun) {
    const struct {
        const char* writer;
        int number;
    } cases[] = {{"exec cat /dev/zero", 1011}, {"exec yes Rem", 7}};
    for (const auto& c : cases) {
        for (const bool run : {false, true}) {
            std::FILE* pipe = ::popen(c.writer, "r");
            ASSERT_NE(pipe, nullptr);
            const std::string path = "/dev/fd/" + std::to_string(::fileno(pipe));
            if (run) {
                test::Harness h;
                const std::optional<Failure> failure = h.runFile(path);
                ASSERT_TRUE(failure) << c.writer;
                EXPECT_EQ(failure->number(), c.number) << c.writer;
            } else {
                std::ostringstream out, err;
                // A file that cannot be read to its end is reported on stderr.
                EXPECT_EQ(CheckMacroFiles({path}, out, err), 2);
                EXPECT_NE(err.str().find("[" + std::to_string(c.number) + "]"), std::string::npos)
                    << c.writer << ": " << err.str();
            }
            ::pclose(pipe);  // the writer ends on the closed pipe
        }
    }
}

// The text the editor checks (not read from a file) ends its lines at CR, CR LF and LF.
TEST(MacroCheck, LinesEndAtCrCrLfAndLf) {
    const std::vector<Finding> findings = CheckMacroText("Rem a\rFoo b\r\nRem c\nFoo d");
    ASSERT_EQ(findings.size(), 2u);
    EXPECT_EQ(findings[0].line, 2);
    EXPECT_EQ(findings[1].line, 4);
}

}  // namespace
}  // namespace tarn
