// SPDX-License-Identifier: GPL-3.0-or-later
// The find dialog's search over a text: successive searches with a freshly
// typed find text, each leaving its selection for the next, as Find Next does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FindIt.h"

namespace tarn::editor {
namespace {

struct Searches {
    const char* name;
    const char* text;
    const char* find;
    FindDirection direction;
    bool matchCase;
    qsizetype caret;
    // Each search: the offset selected, or -1 for "Cannot find".
    std::vector<qsizetype> results;
};

TEST(FindIt, SuccessiveSearchesSelectTheseMatches) {
    constexpr FindDirection Up = FindDirection::Up, Down = FindDirection::Down,
                            All = FindDirection::All;
    // Simple case mappings keep every length: "ß" is not "SS", so the match
    // behind it keeps its offset; ẞ and ß, ſ and S, ı and I, the Kelvin sign
    // and k, Σ and ς meet.
    const Searches cases[] = {
        {"All wraps after the message", "abc abc", "abc", All, false, 2, {0, 4, -1, 0, 4}},
        {"Down starts at the caret", "abc abc", "abc", Down, false, 5, {-1}},
        {"Down from the top", "abc abc", "abc", Down, false, 0, {0, 4, -1, -1}},
        {"Up from behind the second match", "abc abc", "abc", Up, false, 6, {4, 0, -1}},
        {"Up at the top", "abc abc", "abc", Up, false, 0, {-1}},
        {"Case ignored", "abc abc", "ABC", All, false, 0, {0, 4}},
        {"Case matched", "abc ABC", "ABC", All, true, 0, {4, -1, 4}},
        {"Overlapping", "aaaa", "aa", All, false, 0, {0, 1, 2, -1}},
        {"Longer than the text", "ab", "abc", All, false, 0, {-1}},
        {"Lines count one each", "x\ny\nx", "X", All, false, 0, {0, 4}},
        {"Sharp s is one letter", "STRASSE straße STRAẞE", "STRASSE", All, false, 0, {0, -1}},
        {"Capital sharp s", "straße STRAẞE", "STRAßE", All, false, 0, {0, 7, -1}},
        {"Offsets after folded letters", "ßßß äbc ÄBC", "äbc", All, false, 0, {4, 8}},
        {"Other simple folds", "ſ ı K ς", "S I k Σ", All, false, 0, {0}},
        {"Cyrillic and Greek", "Жук ЖУК ΣΟΦΙΑ σοφια", "жук", All, false, 0, {0, 4, -1}},
        {"Supplementary letters", "x 𐐀𐐁 𐐨𐐩", "𐐨𐐩", All, false, 0, {2, 7}},
        {"Supplementary letters by case", "x 𐐀𐐁 𐐨𐐩", "𐐨𐐩", All, true, 0, {7}},
        {"Up over non-ASCII", "ÄBC äbc", "ÄBC", Up, false, 7, {4, 0, -1}},
    };
    for (const Searches& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        const QString find = QString::fromUtf8(c.find);
        FindState state;
        state.miDirection = c.direction;
        state.mbFindChanged = true;  // freshly typed
        Selection selection{c.caret, 0};
        std::vector<qsizetype> results;
        for (std::size_t i = 0; i < c.results.size(); ++i) {
            const FindOutcome outcome = FindIt(state, text, selection, find, c.matchCase);
            results.push_back(outcome.found ? outcome.selection.start : -1);
            if (outcome.found) {
                EXPECT_EQ(outcome.selection.length, find.size()) << c.name;
            }
            selection = outcome.selection;
        }
        EXPECT_EQ(results, c.results) << c.name;
    }
}

TEST(FindIt, MovingTheCaretRestartsThereAndNothingFoundLeavesTheSelection) {
    const QString text = QStringLiteral("abc abc abc");
    FindState state;
    state.miDirection = FindDirection::Down;
    state.mbFindChanged = true;
    FindOutcome outcome = FindIt(state, text, {1, 0}, u"abc", false);
    EXPECT_EQ(outcome.selection, (Selection{4, 3}));
    // The user puts the caret at 8: the match starting there is found.
    outcome = FindIt(state, text, {8, 0}, u"abc", false);
    EXPECT_EQ(outcome.selection, (Selection{8, 3}));
    outcome = FindIt(state, text, outcome.selection, u"abc", false);
    EXPECT_FALSE(outcome.found);
    EXPECT_EQ(outcome.selection, (Selection{8, 3}));
    // Up from a caret placed by hand starts two characters before it.
    state.miDirection = FindDirection::Up;
    outcome = FindIt(state, text, {6, 0}, u"abc", false);
    EXPECT_EQ(outcome.selection, (Selection{4, 3}));
}

}  // namespace
}  // namespace tarn::editor
