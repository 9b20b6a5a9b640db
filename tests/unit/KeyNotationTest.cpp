// SPDX-License-Identifier: GPL-3.0-or-later
// The key notation of Send: what each string types, and every string that must
// be refused. Expected sequences are written in the readable form of describe():
// "+Shift +'a' -'a' -Shift" presses Shift, taps a, releases Shift.

#include "KeyNotation.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "Failure.h"

namespace tarn {
namespace {

struct Typed {
    const char* notation;
    const char* expected;
};

class KeyNotationTyped : public ::testing::TestWithParam<Typed> {};

TEST_P(KeyNotationTyped, GivesTheseEvents) {
    const Typed& c = GetParam();
    EXPECT_EQ(describe(parseKeys(c.notation)), c.expected) << "notation: " << c.notation;
}

INSTANTIATE_TEST_SUITE_P(
    PlainCharacters, KeyNotationTyped,
    ::testing::Values(Typed{"", ""}, Typed{"a", "+'a' -'a'"},
                      // A capital is the character itself; the backend holds Shift.
                      Typed{"A", "+'A' -'A'"}, Typed{"ab", "+'a' -'a' +'b' -'b'"},
                      Typed{" ", "+' ' -' '"}, Typed{"7", "+'7' -'7'"},
                      Typed{"é€", "+'é' -'é' +'€' -'€'"},
                      Typed{"Ωж中", "+'Ω' -'Ω' +'ж' -'ж' +'中' -'中'"},
                      Typed{"\t", "+'\t' -'\t'"}));

INSTANTIATE_TEST_SUITE_P(
    Modifiers, KeyNotationTyped,
    ::testing::Values(Typed{"+a", "+Shift +'a' -'a' -Shift"},
                      Typed{"^a", "+Control +'a' -'a' -Control"},
                      Typed{"%a", "+Alt +'a' -'a' -Alt"},
                      Typed{"+^%a", "+Shift +Control +Alt +'a' -'a' -Alt -Control -Shift"},
                      Typed{"%^+a", "+Alt +Control +Shift +'a' -'a' -Shift -Control -Alt"},
                      Typed{"%{F4}", "+Alt +F4 -F4 -Alt"},
                      // Without a group the prefix holds for the next element only.
                      Typed{"^ac", "+Control +'a' -'a' -Control +'c' -'c'"},
                      Typed{"a^c", "+'a' -'a' +Control +'c' -'c' -Control"},
                      Typed{"^~", "+Control +Enter -Enter -Control"},
                      Typed{"+{+}", "+Shift +'+' -'+' -Shift"},
                      // A repeated prefix holds the key once.
                      Typed{"++a", "+Shift +'a' -'a' -Shift"}));

INSTANTIATE_TEST_SUITE_P(
    Groups, KeyNotationTyped,
    ::testing::Values(
        Typed{"^(ac)", "+Control +'a' -'a' +'c' -'c' -Control"},
        Typed{"+^(ab)", "+Shift +Control +'a' -'a' +'b' -'b' -Control -Shift"},
        Typed{"+^%(ab)", "+Shift +Control +Alt +'a' -'a' +'b' -'b' -Alt -Control -Shift"},
        // A modifier nested inside a group adds to the group's for one element.
        Typed{"+(a^b)", "+Shift +'a' -'a' +Control +'b' -'b' -Control -Shift"},
        Typed{"+(a^bc)", "+Shift +'a' -'a' +Control +'b' -'b' -Control +'c' -'c' -Shift"},
        Typed{"+(a^(bc)d)",
              "+Shift +'a' -'a' +Control +'b' -'b' +'c' -'c' -Control +'d' -'d' -Shift"},
        // The group's own modifier inside it is already down and stays down.
        Typed{"+(a+b)", "+Shift +'a' -'a' +'b' -'b' -Shift"},
        Typed{"^(a{LEFT}~)", "+Control +'a' -'a' +Left -Left +Enter -Enter -Control"},
        Typed{"(ab)", "+'a' -'a' +'b' -'b'"}, Typed{"((a))", "+'a' -'a'"}, Typed{"()", ""},
        Typed{"+()", "+Shift -Shift"}, Typed{"^(a)b", "+Control +'a' -'a' -Control +'b' -'b'"}));

// Prefixes with nothing after them at the end of the string or of a group tap
// their modifiers alone, as an empty group does.
INSTANTIATE_TEST_SUITE_P(
    LoneModifiers, KeyNotationTyped,
    ::testing::Values(Typed{"+", "+Shift -Shift"}, Typed{"^", "+Control -Control"},
                      Typed{"%", "+Alt -Alt"},
                      Typed{"+^%", "+Shift +Control +Alt -Alt -Control -Shift"},
                      Typed{"a+", "+'a' -'a' +Shift -Shift"}, Typed{"(+)", "+Shift -Shift"},
                      Typed{"(a^)", "+'a' -'a' +Control -Control"},
                      Typed{"+(a%)", "+Shift +'a' -'a' +Alt -Alt -Shift"},
                      Typed{"+(a+)", "+Shift +'a' -'a' -Shift"},
                      Typed{"^()%", "+Control -Control +Alt -Alt"}));

INSTANTIATE_TEST_SUITE_P(BracedCharacters, KeyNotationTyped,
                         ::testing::Values(Typed{"{+}", "+'+' -'+'"}, Typed{"{^}", "+'^' -'^'"},
                                           Typed{"{%}", "+'%' -'%'"}, Typed{"{~}", "+'~' -'~'"},
                                           Typed{"{(}", "+'(' -'('"}, Typed{"{)}", "+')' -')'"},
                                           Typed{"{{}", "+'{' -'{'"}, Typed{"{}}", "+'}' -'}'"},
                                           Typed{"{[}", "+'[' -'['"}, Typed{"{]}", "+']' -']'"},
                                           Typed{"{a}", "+'a' -'a'"}, Typed{"{A}", "+'A' -'A'"},
                                           Typed{"{ }", "+' ' -' '"}, Typed{"{é}", "+'é' -'é'"},
                                           Typed{"{{}{}}", "+'{' -'{' +'}' -'}'"},
                                           Typed{"a{+}b", "+'a' -'a' +'+' -'+' +'b' -'b'"}));

INSTANTIATE_TEST_SUITE_P(Enter, KeyNotationTyped,
                         ::testing::Values(Typed{"~", "+Enter -Enter"},
                                           Typed{"a~b", "+'a' -'a' +Enter -Enter +'b' -'b'"},
                                           Typed{"{ENTER}", "+Enter -Enter"}));

INSTANTIATE_TEST_SUITE_P(
    RepeatCounts, KeyNotationTyped,
    ::testing::Values(Typed{"{LEFT 3}", "+Left -Left +Left -Left +Left -Left"},
                      Typed{"{x 2}", "+'x' -'x' +'x' -'x'"}, Typed{"{x 1}", "+'x' -'x'"},
                      Typed{"{x 0}", ""}, Typed{"{x 00002}", "+'x' -'x' +'x' -'x'"},
                      // The count follows the last space: two spaces typed twice.
                      Typed{"{  2}", "+' ' -' ' +' ' -' '"}, Typed{"{} 2}", "+'}' -'}' +'}' -'}'"},
                      Typed{"{{ 2}", "+'{' -'{' +'{' -'{'"}, Typed{"{é 2}", "+'é' -'é' +'é' -'é'"},
                      // The prefix is held across every repetition.
                      Typed{"+{RIGHT 2}", "+Shift +Right -Right +Right -Right -Shift"},
                      Typed{"{enter 2}", "+Enter -Enter +Enter -Enter"}));

// Every key name taps one key of its own in any letter case; the names of a
// group are aliases of one key. Which key that is on the desktop is what the
// typing tests on X check.
TEST(KeyNotation, EveryNameTapsAKeyOfItsOwnInAnyLetterCase) {
    const std::vector<std::vector<std::string>> groups = {{"BS", "BACKSPACE", "BKSP"},
                                                          {"TAB"},
                                                          {"ENTER"},
                                                          {"BREAK"},
                                                          {"CAPSLOCK"},
                                                          {"ESC"},
                                                          {"PGUP"},
                                                          {"PGDN"},
                                                          {"END"},
                                                          {"HOME"},
                                                          {"LEFT"},
                                                          {"UP"},
                                                          {"RIGHT"},
                                                          {"DOWN"},
                                                          {"PRTSC"},
                                                          {"INS", "INSERT"},
                                                          {"DEL", "DELETE"},
                                                          {"F1"},
                                                          {"F2"},
                                                          {"F3"},
                                                          {"F4"},
                                                          {"F5"},
                                                          {"F6"},
                                                          {"F7"},
                                                          {"F8"},
                                                          {"F9"},
                                                          {"F10"},
                                                          {"F11"},
                                                          {"F12"},
                                                          {"F13"},
                                                          {"F14"},
                                                          {"F15"},
                                                          {"F16"},
                                                          {"NUMLOCK"},
                                                          {"SCROLLLOCK"},
                                                          {"LWIN"},
                                                          {"RWIN"},
                                                          {"APPS"},
                                                          {"ADD"},
                                                          {"SUBTRACT"},
                                                          {"MULTIPLY"},
                                                          {"DIVIDE"}};
    std::set<Key> seen;
    for (const auto& group : groups) {
        const KeySequence first = parseKeys("{" + group.front() + "}");
        ASSERT_EQ(first.size(), 2u) << group.front();
        EXPECT_NE(first[0].key, Key::Character) << group.front();
        EXPECT_TRUE(seen.insert(first[0].key).second) << group.front() << " names a key again";
        for (std::string name : group) {
            EXPECT_EQ(parseKeys("{" + name + "}"), first) << name;
            for (char& ch : name)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            EXPECT_EQ(parseKeys("{" + name + "}"), first) << name;
        }
    }
}

// Every punctuation character without a meaning in the notation types itself.
TEST(KeyNotation, PlainPunctuationTypesItself) {
    const std::string punctuation = "!@#$&*-_=|\\:;'\",<.>/?`";
    for (char c : punctuation) {
        const std::string text(1, c);
        KeySequence expected{{KeyEvent::Type::Press, Key::Character, char32_t(c)},
                             {KeyEvent::Type::Release, Key::Character, char32_t(c)}};
        EXPECT_EQ(parseKeys(text), expected) << text;
    }
}

TEST(KeyNotation, LargestRepeatCountIsAccepted) {
    EXPECT_EQ(parseKeys("{x 10000}").size(), 20000u);
    EXPECT_EQ(parseKeys("+{LEFT 10000}").size(), 20002u);
}

class KeyNotationRefused : public ::testing::TestWithParam<const char*> {};

TEST_P(KeyNotationRefused, FailsWithInvalidArgument) {
    const char* notation = GetParam();
    try {
        const KeySequence keys = parseKeys(notation);
        ADD_FAILURE() << "accepted \"" << notation << "\" as " << describe(keys);
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), 5) << notation;
        EXPECT_EQ(failure.description(), "Invalid procedure call or argument") << notation;
        EXPECT_EQ(failure.source(), "Tarn") << notation;
    }
}

INSTANTIATE_TEST_SUITE_P(UnbalancedParentheses, KeyNotationRefused,
                         ::testing::Values(")", "a)", "(a))", "(", "(a", "((a)", "+(ab", "^(a{)}"));

INSTANTIATE_TEST_SUITE_P(UnclosedBraces, KeyNotationRefused,
                         ::testing::Values("{", "a{", "{a", "{}", "{ENTER", "{LEFT 5", "{{", "+{"));

INSTANTIATE_TEST_SUITE_P(UnknownNames, KeyNotationRefused,
                         ::testing::Values("{ENTRE}", "{ab}", "{F0}", "{F17}", "{F1 }", "{ LEFT}",
                                           "{LEFT  2}", "{SHIFT}", "{é€}", "{LEFT 1 2}"));

INSTANTIATE_TEST_SUITE_P(BadRepeatCounts, KeyNotationRefused,
                         ::testing::Values("{LEFT 10001}", "{x 99999}", "{x 100000}",
                                           "{x 4294967297}", "{LEFT x}", "{LEFT -1}", "{LEFT +1}",
                                           "{LEFT 1.5}", "{LEFT 5 }", "{x }", "{x ５}"));

// Reserved characters and the square brackets must be braced.
INSTANTIATE_TEST_SUITE_P(BareReservedCharacters, KeyNotationRefused,
                         ::testing::Values("}", "a}b", "{ENTER}}", "[", "]", "a[0]", "+[", "(])"));

}  // namespace
}  // namespace tarn
