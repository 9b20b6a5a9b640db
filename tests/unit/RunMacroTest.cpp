// SPDX-License-Identifier: GPL-3.0-or-later
// Whole macro files: the run loop, line reports, stopping, failures, and the
// bad input a macro file can hold.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "Harness.h"

namespace tarn::test {
namespace {

namespace fs = std::filesystem;

int descriptorsOn(const std::string& path) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) == fs::path(path)) ++count;
    }
    return count;
}

using Lines = std::vector<std::string>;

TEST(RunMacro, ReportsEveryLineAsReadWhateverItsEnding) {
    const struct {
        const char* name;
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"CR LF", "Rem a\r\n\r\n  \tx = 1\r\n", {"Rem a", "", "  \tx = 1"}},
        {"LF", "Rem a\n\nx = 1\n", {"Rem a", "", "x = 1"}},
        {"CR", "Rem a\r\rx = 1", {"Rem a", "", "x = 1"}},
        {"no final end", "a\r\nb", {"a", "b"}},
        {"blank end lines", "a\r\n\r\n", {"a", ""}},
        {"empty file", "", {}},
        {"LF then CR", "a\n\rb", {"a", "", "b"}},
        {"BOM", "\xEF\xBB\xBFRem x\n", {"Rem x"}},
        {"Windows-1252", "Rem caf\xe9\r\n", {"Rem café"}},
        {"BOM, then not UTF-8", "\xEF\xBB\xBFRem caf\xe9\n", {"Rem café"}},
        {"NUL bytes", std::string("Rem a\0b\n", 8), {std::string("Rem a\0b", 7)}},
    };
    for (const auto& c : cases) {
        Harness h;
        EXPECT_EQ(describeFailure(h.run(c.bytes)), "no failure") << c.name;
        EXPECT_EQ(h.lines, c.lines) << c.name;
    }
}

TEST(RunMacro, VariablesAreClearedByEachRunAndKeptAfterIt) {
    Harness h;
    ASSERT_FALSE(h.run("a = 1\nb = 2\n"));
    EXPECT_EQ(h.var("b"), "2");
    ASSERT_FALSE(h.run("c = 3\n"));
    EXPECT_EQ(h.var("a"), "<unset>");
    EXPECT_EQ(h.var("c"), "3");
    // A line report that fails does not stop the statement.
    h.macro.DataInQueue = [](const std::string&) { throw Failure(75, "disk full", "trace"); };
    ASSERT_FALSE(h.run("d = 4\n"));
    EXPECT_EQ(h.var("d"), "4");
    // Process works before any file was opened: the table exists from the start.
    Harness fresh;
    ASSERT_FALSE(fresh.process("x = 1"));
    EXPECT_EQ(fresh.var("x"), "1");
}

TEST(RunMacro, AFailureEndsTheRunAtItsLineAndClosesTheFile) {
    Harness h;
    int openDuringRun = -1;
    h.macro.DataInQueue = [&](const std::string& line) {
        h.lines.push_back(line);
        openDuringRun = descriptorsOn((h.dir.path() / "macro.mcr").string());
    };
    const auto failure = h.run("a = 1\nBogus cmd\nb = 2\n");
    EXPECT_EQ(openDuringRun, 1);
    EXPECT_EQ(descriptorsOn((h.dir.path() / "macro.mcr").string()), 0);
    EXPECT_EQ(describeFailure(failure),
              "1001 \"Invalid macro command\" at \".Process.Process.RunMacro\"");
    EXPECT_EQ(h.lines, (Lines{"a = 1", "Bogus cmd"}));
    EXPECT_EQ(h.macro.LineNumber(), 2);
    EXPECT_EQ(h.var("a"), "1");
    EXPECT_EQ(h.var("b"), "<unset>");
    // Running it again starts at its first line.
    h.lines.clear();
    h.run("a = 1\nBogus cmd\n");
    EXPECT_EQ(h.lines, (Lines{"a = 1", "Bogus cmd"}));
}

TEST(RunMacro, FilesThatCannotBeOpened) {
    Harness h;
    const std::string folder = h.dir.path().string();
    const std::string unreadable = h.dir.write("locked.mcr", "Rem x\n");
    ::chmod(unreadable.c_str(), 0);
    const bool isRoot = ::geteuid() == 0;  // root reads whatever the mode says
    const struct {
        std::string path;
        std::string failure;
    } cases[] = {
        {folder + "/missing.mcr", "53 \"File not found\" at \"Tarn.OpenFile.RunMacro\""},
        {"", "53 \"File not found\" at \"Tarn.OpenFile.RunMacro\""},
        {folder + "/nofolder/x.mcr", "76 \"Path not found\" at \"Tarn.OpenFile.RunMacro\""},
        {unreadable + "/x.mcr", "76 \"Path not found\" at \"Tarn.OpenFile.RunMacro\""},
        {folder, "75 \"Path/File access error\" at \"Tarn.OpenFile.RunMacro\""},
        {"/dev/null", "75 \"Path/File access error\" at \"Tarn.OpenFile.RunMacro\""},
        {unreadable,
         isRoot ? "no failure" : "70 \"Permission denied\" at \"Tarn.OpenFile.RunMacro\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describeFailure(h.runFile(c.path)), c.failure) << c.path;
    }
    EXPECT_EQ(h.lines.size(), isRoot ? 1u : 0u);
}

TEST(RunMacro, CancelStopsBeforeTheNextLineButNotBeforeTheRun) {
    Harness h;
    h.macro.CancelMacro(true);  // forgotten when the run starts
    h.macro.DataInQueue = [&](const std::string& line) {
        h.lines.push_back(line);
        if (line == "b = 2") h.macro.CancelMacro(true);
    };
    ASSERT_FALSE(h.run("a = 1\nb = 2\nc = 3\n"));
    EXPECT_EQ(h.lines, (Lines{"a = 1", "b = 2"}));
    EXPECT_EQ(h.var("b"), "2");  // the statement under way still completes
    EXPECT_TRUE(h.macro.CancelMacro());
}

// Whole seconds, rounded half to even, on the monotonic clock; each pass idles,
// none returns at once without letting the host block.
TEST(Wait, LastsItsWholeSecondsWithoutSpinningUnlessCancelled) {
    for (const auto& [statement, seconds] : {std::pair{"Wait 3", 3}, std::pair{"Wait 2.5", 2},
                                             std::pair{"Wait 3.5", 4}, std::pair{"Wait -4", 0}}) {
        Harness h;
        ASSERT_FALSE(h.process(statement));
        const auto waited = h.fakes.host.time - Host::Clock::time_point();
        EXPECT_GE(waited, std::chrono::seconds(seconds)) << statement;
        EXPECT_LT(waited, std::chrono::milliseconds(seconds * 1000 + 20)) << statement;
        EXPECT_GE(h.fakes.host.idles, seconds * 97) << statement;
        EXPECT_LE(h.fakes.host.idles, seconds * 100 + 2) << statement;
    }
    // Cancel ends the wait within one pass, and the run before the next line.
    Harness h;
    h.fakes.host.onYield = [&] {
        if (h.fakes.host.time >= Host::Clock::time_point(std::chrono::seconds(2))) {
            h.macro.CancelMacro(true);
        }
    };
    ASSERT_FALSE(h.run("Wait 30\nx = 1\n"));
    EXPECT_LT(h.fakes.host.time, Host::Clock::time_point(std::chrono::milliseconds(2011)));
    EXPECT_EQ(h.var("x"), "<unset>");
    EXPECT_EQ(h.lines, (Lines{"Wait 30"}));
}

TEST(BadInput, LargeAndStrangeFilesRunOrFailCleanly) {
    Harness h;
    // A single line of 10 MB is refused before it is reported (the bound is
    // tested with the check).
    EXPECT_EQ(h.run("Rem " + std::string(10 * 1024 * 1024, 'x') + "\n")->number(), 1011);
    EXPECT_TRUE(h.lines.empty());

    // A million lines of comments and blanks.
    std::string many;
    for (int i = 0; i < 500000; ++i)
        many += "Rem line\n\n";
    h.lines.clear();
    EXPECT_EQ(describeFailure(h.run(many)), "no failure");
    EXPECT_EQ(h.lines.size(), 1000000u);

    // Binary garbage: not UTF-8, so read as Windows-1252, and no keyword.
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 7919) % 256);
    EXPECT_EQ(h.run(binary)->number(), 1001);
}

}  // namespace
}  // namespace tarn::test
