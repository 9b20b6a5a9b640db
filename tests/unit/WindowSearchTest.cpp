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

TEST(TitleSearch, TitlesAreComparedOnTheirFirst255Characters) {
    const std::string title = std::string(254, 'a') + "éZ";  // Z is the 256th character
    const std::vector<TopLevelWindow> windows{{7, title, true}};
    EXPECT_EQ(FindFirstMatch(windows, "aé", kEndsWith, true, true), 7);
    EXPECT_EQ(FindFirstMatch(windows, "Z", kContains, true, true), 0);
    EXPECT_EQ(WindowTitles(windows, true)[0], std::string(254, 'a') + "é");
}

TEST(TitleSearch, TitleListSkipsUntitledAndHidden) {
    EXPECT_EQ(WindowTitles(desktop(), true),
              (std::vector<std::string>{"Untitled - Notepad", "Document.txt - Notepad",
                                        "Ελληνικά και Кириллица", "calc"}));
    EXPECT_EQ(WindowTitles(desktop(), false).size(), 5u);
    Harness h;
    h.fakes.windows.windows = {{1, "A", true}, {2, "B", false}};
    std::vector<std::string> list{"stale"};
    h.macro.FillListWithWindowTitles(list, false);
    EXPECT_EQ(list, (std::vector<std::string>{"A", "B"}));
}

TEST(GetWindowID, WaitsForAWindowThatAppearsLater) {
    Harness h;
    h.fakes.host.onYield = [&] {
        if (h.fakes.host.time >= Host::Clock::time_point(seconds(1)) &&
            h.fakes.windows.windows.empty()) {
            h.fakes.windows.windows.push_back({77, "Late Window", true});
        }
    };
    ASSERT_FALSE(h.process("w = GetWindowID Late"));
    EXPECT_EQ(h.var("w"), "77");
    EXPECT_GE(h.fakes.host.time, Host::Clock::time_point(seconds(1)));
    EXPECT_LT(h.fakes.host.time, Host::Clock::time_point(milliseconds(1020)));
}

TEST(GetWindowID, GivesZeroAfterTheTimeOutOrAtOnceWithoutOne) {
    for (const auto& [timeout, expectedSeconds] :
         {std::pair{"TimeOut 2", 2}, std::pair{"TimeOut 0", 0}, std::pair{"TimeOut -5", 0}}) {
        Harness h;
        ASSERT_FALSE(h.process(timeout));
        ASSERT_FALSE(h.process("w = GetWindowID Nothing Here"));
        EXPECT_EQ(h.var("w"), "0");
        EXPECT_EQ(h.fakes.windows.enumerations == 0, expectedSeconds == 0) << timeout;
        EXPECT_EQ(std::chrono::duration_cast<seconds>(h.fakes.host.time.time_since_epoch()).count(),
                  expectedSeconds)
            << timeout;
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

TEST(SetFocus, RestoresAMinimisedWindowBeforeBringingItForward) {
    Harness h;
    h.fakes.windows.windows = {{1, "Other", true}, {2, "Mail - Inbox", true, true}};
    ASSERT_FALSE(h.process("SetFocus Mail"));
    EXPECT_EQ(h.calls(), (std::vector<std::string>{"restore 2", "setForeground 2"}));
    EXPECT_EQ(h.fakes.windows.active, 2);
}

TEST(SetFocus, ByTitleThatNeverAppearsIsNoError) {
    Harness h;
    ASSERT_FALSE(h.process("TimeOut 1"));
    EXPECT_EQ(describeFailure(h.process("SetFocus Nowhere")), "no failure");
    EXPECT_EQ(std::chrono::duration_cast<seconds>(h.fakes.host.time.time_since_epoch()).count(), 1);
}

TEST(SetFocus, ByProcessRetriesUntilTheProgramHasAWindow) {
    Harness h;
    h.fakes.host.onYield = [&] {
        if (h.fakes.host.time >= Host::Clock::time_point(milliseconds(500)) &&
            h.fakes.windows.windows.empty()) {
            h.fakes.windows.windows.push_back({9, "Started", true, false, 1234});
        }
    };
    ASSERT_FALSE(h.process("SetFocus 1234"));
    EXPECT_EQ(h.fakes.windows.active, 9);
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

TEST(SetFocus, ADigitsOnlyTitleIsTakenAsAProcess) {
    Harness h;
    h.fakes.windows.windows = {{3, "2024", true, false, 99}};
    ASSERT_FALSE(h.process("TimeOut 0"));
    EXPECT_EQ(h.process("SetFocus 2024")->number(), 5);
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
