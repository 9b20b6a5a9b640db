// SPDX-License-Identifier: GPL-3.0-or-later
// The title search and the window commands, against the fake window system.
#include <gtest/gtest.h>

#include <algorithm>

#include "Harness.h"
#include "modMacro.h"

namespace tarn::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

std::vector<TopLevelWindow> desktop() {
    return {
        {10, "Untitled - Notepad", true},     {11, "", true},
        {12, "Hidden Notepad Helper", false}, {13, "Document.txt - Notepad", true},
        {14, "Ελληνικά και Кириллица", true}, {15, "calc", true},
    };
}

TEST(TitleSearch, MethodsCaseAndVisibility) {
    const struct {
        const char* search;
        int method;
        bool caseSensitive;
        bool visibleOnly;
        WindowId found;
    } cases[] = {
        {"Untitled", kStartsWith, false, true, 10},
        {"untitled", kStartsWith, false, true, 10},
        {"untitled", kStartsWith, true, true, 0},
        {"Notepad", kStartsWith, false, true, 0},
        {"Notepad", kContains, false, true, 10},  // the higher of the matches
        {"- notepad", kEndsWith, false, true, 10},
        {"Helper", kEndsWith, false, true, 0},
        {"Helper", kEndsWith, false, false, 12},
        {"document.txt - notepad", kMatches, false, true, 13},
        {"Document.txt", kMatches, false, true, 0},
        {"CALC", kMatches, false, true, 15},
        {"CALC", kMatches, true, true, 0},
        {"ελληνικά", kStartsWith, false, true, 14},
        {"КИРИЛЛИЦА", kEndsWith, false, true, 14},
        {"a longer text than calc", kEndsWith, false, true, 0},
        {"", kStartsWith, false, true, 10},
        {"", kContains, false, true, 10},
        {"", kEndsWith, false, true, 10},
        {"", kMatches, false, true, 0},
        {"Untitled", 4, false, true, 0},
        {"Untitled", -1, false, true, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindFirstMatch(desktop(), c.search, c.method, c.caseSensitive, c.visibleOnly),
                  c.found)
            << "\"" << c.search << "\" method " << c.method;
    }
}

TEST(TitleSearch, TitleListSkipsUntitledAndHiddenAndCutsLongTitles) {
    EXPECT_EQ(WindowTitles(desktop(), true),
              (std::vector<std::string>{"Untitled - Notepad", "Document.txt - Notepad",
                                        "Ελληνικά και Кириллица", "calc"}));
    EXPECT_EQ(WindowTitles(desktop(), false).size(), 5u);
    // Titles are compared and listed on their first 255 characters.
    const std::string title = std::string(254, 'a') + "éZ";  // Z is the 256th character
    const std::vector<TopLevelWindow> windows{{7, title, true}};
    EXPECT_EQ(FindFirstMatch(windows, "aé", kEndsWith, true, true), 7);
    EXPECT_EQ(FindFirstMatch(windows, "Z", kContains, true, true), 0);
    EXPECT_EQ(WindowTitles(windows, true)[0], std::string(254, 'a') + "é");
    Harness h;
    h.fakes.windows.windows = {{1, "A", true}, {2, "B", false}};
    std::vector<std::string> list{"stale"};
    h.macro.FillListWithWindowTitles(list, false);
    EXPECT_EQ(list, (std::vector<std::string>{"A", "B"}));
}

// The search is repeated until the window appears, and gives up at the time-out:
// GetWindowID then gives 0, SetFocus by title does nothing.
TEST(WindowSearch, RetriesUntilTheWindowAppearsOrTheTimeOut) {
    const struct {
        const char* timeout;
        const char* statement;
        int appearsMs;  // -1: never
        int endMs;      // the time when the statement returned
        WindowId active;
    } cases[] = {
        {"TimeOut 5", "w = GetWindowID Late", 1000, 1000, 0},
        {"TimeOut 5", "SetFocus 1234", 500, 500, 9},  // a process: until it has a window
        {"TimeOut 2", "w = GetWindowID Nothing Here", -1, 2000, 0},
        {"TimeOut 0", "w = GetWindowID Nothing Here", -1, 0, 0},
        {"TimeOut -5", "w = GetWindowID Nothing Here", -1, 0, 0},
        {"TimeOut 1", "SetFocus Nowhere", -1, 1000, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.timeout) + ": " + c.statement);
        Harness h;
        h.fakes.host.onYield = [&] {
            if (c.appearsMs >= 0 && h.fakes.windows.windows.empty() &&
                h.fakes.host.time >= Host::Clock::time_point(milliseconds(c.appearsMs)))
                h.fakes.windows.windows.push_back({9, "Late Window", true, false, 1234});
        };
        ASSERT_FALSE(h.process(c.timeout));
        EXPECT_EQ(describeFailure(h.process(c.statement)), "no failure");
        EXPECT_EQ(h.fakes.windows.active, c.active);
        if (c.statement[0] == 'w') {
            EXPECT_EQ(h.var("w"), c.appearsMs < 0 ? "0" : "9");
            // Without a time-out nothing is looked for at all.
            EXPECT_EQ(h.fakes.windows.enumerations == 0, c.endMs == 0);
        }
        const auto waited = h.fakes.host.time - Host::Clock::time_point();
        EXPECT_GE(waited, milliseconds(c.endMs));
        EXPECT_LT(waited, milliseconds(c.endMs + 20));
    }
}

TEST(GetWindowID, ReadsItsParametersAfreshOnEveryAttempt) {
    Harness h;
    h.fakes.windows.windows = {{5, "second", true}};
    ASSERT_FALSE(h.process("title = first"));
    bool renamed = false;
    h.fakes.host.onYield = [&] {
        if (!renamed && h.fakes.host.time >= Host::Clock::time_point(seconds(1))) {
            renamed = true;
            h.macro.Process("title = \"second\"");
        }
    };
    ASSERT_FALSE(h.process("w = GetWindowID title,2"));
    EXPECT_EQ(h.var("w"), "5");
}

// "No window yet" (5) is worth waiting for; any other failure is raised at once.
TEST(SetFocus, ByProcessRetriesOnlyFailureFiveUntilTheTimeOut) {
    const auto attempts = [](const Harness& h) {
        return std::count(h.fakes.log.begin(), h.fakes.log.end(), "activateProcess 4321");
    };
    Harness h;
    ASSERT_FALSE(h.process("TimeOut 2"));
    EXPECT_EQ(describeFailure(h.run("SetFocus 4321\n")),
              "5 \"Invalid procedure call or argument\" at \"Tarn.SetFocus.Process.RunMacro\"");
    EXPECT_GE(h.fakes.host.time, Host::Clock::time_point(seconds(2)));
    EXPECT_GT(attempts(h), 1);

    Harness other;
    other.fakes.windows.activateFailure = runtimeFailure(kPermissionDenied);
    EXPECT_EQ(describeFailure(other.process("SetFocus 4321")),
              "70 \"Permission denied\" at \"Tarn.SetFocus.Process\"");
    EXPECT_EQ(attempts(other), 1);
    EXPECT_EQ(other.fakes.host.time, Host::Clock::time_point());
}

TEST(CloseWindow, ReturnsAtOnceAndTellsWhetherTheWindowIsStillThere) {
    Harness h;
    h.fakes.windows.windows = {{1, "Asks first", true, false, 0, false}, {2, "Closes", true}};
    EXPECT_TRUE(h.macro.CloseWindow(1));
    EXPECT_FALSE(h.macro.CloseWindow(2));
    EXPECT_FALSE(h.macro.CloseWindow(12345));
}

}  // namespace
}  // namespace tarn::test
