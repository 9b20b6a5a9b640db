// SPDX-License-Identifier: GPL-3.0-or-later
// The key notation of Send: what each string types, and every string that must
// be refused. Expected sequences are written in the readable form of describe():
// "+Shift +'a' -'a' -Shift" presses Shift, taps a, releases Shift.

#include "KeyNotation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Failure.h"
#include "Harness.h"

namespace tarn {
namespace {

struct Typed {
    const char* notation;
    const char* expected;
};

TEST(KeyNotation, TypesTheseEvents) {
    const Typed cases[] = {
        // Plain characters; a capital is the character itself, the backend holds Shift.
        Typed{"", ""}, Typed{"a", "+'a' -'a'"}, Typed{"A", "+'A' -'A'"},
        Typed{"ab", "+'a' -'a' +'b' -'b'"}, Typed{" ", "+' ' -' '"}, Typed{"7", "+'7' -'7'"},
        Typed{"é€", "+'é' -'é' +'€' -'€'"}, Typed{"Ωж中", "+'Ω' -'Ω' +'ж' -'ж' +'中' -'中'"},
        Typed{"\t", "+'\t' -'\t'"},
        // Modifiers: without a group the prefix holds for the next element only.
        Typed{"+a", "+Shift +'a' -'a' -Shift"}, Typed{"^a", "+Control +'a' -'a' -Control"},
        Typed{"%a", "+Alt +'a' -'a' -Alt"},
        Typed{"+^%a", "+Shift +Control +Alt +'a' -'a' -Alt -Control -Shift"},
        Typed{"%^+a", "+Alt +Control +Shift +'a' -'a' -Shift -Control -Alt"},
        Typed{"%{F4}", "+Alt +F4 -F4 -Alt"}, Typed{"^ac", "+Control +'a' -'a' -Control +'c' -'c'"},
        Typed{"a^c", "+'a' -'a' +Control +'c' -'c' -Control"},
        Typed{"^~", "+Control +Enter -Enter -Control"}, Typed{"+{+}", "+Shift +'+' -'+' -Shift"},
        Typed{"++a", "+Shift +'a' -'a' -Shift"},  // a repeated prefix holds the key once
        // Groups; a modifier nested inside adds to the group's for one element, and the
        // group's own modifier inside it is already down and stays down.
        Typed{"^(ac)", "+Control +'a' -'a' +'c' -'c' -Control"},
        Typed{"+^(ab)", "+Shift +Control +'a' -'a' +'b' -'b' -Control -Shift"},
        Typed{"+^%(ab)", "+Shift +Control +Alt +'a' -'a' +'b' -'b' -Alt -Control -Shift"},
        Typed{"+(a^b)", "+Shift +'a' -'a' +Control +'b' -'b' -Control -Shift"},
        Typed{"+(a^bc)", "+Shift +'a' -'a' +Control +'b' -'b' -Control +'c' -'c' -Shift"},
        Typed{"+(a^(bc)d)",
              "+Shift +'a' -'a' +Control +'b' -'b' +'c' -'c' -Control +'d' -'d' -Shift"},
        Typed{"+(a+b)", "+Shift +'a' -'a' +'b' -'b' -Shift"},
        Typed{"^(a{LEFT}~)", "+Control +'a' -'a' +Left -Left +Enter -Enter -Control"},
        Typed{"(ab)", "+'a' -'a' +'b' -'b'"}, Typed{"((a))", "+'a' -'a'"}, Typed{"()", ""},
        Typed{"+()", "+Shift -Shift"}, Typed{"^(a)b", "+Control +'a' -'a' -Control +'b' -'b'"},
        // Prefixes with nothing after them tap their modifiers alone, as an empty group does.
        Typed{"+", "+Shift -Shift"}, Typed{"^", "+Control -Control"}, Typed{"%", "+Alt -Alt"},
        Typed{"+^%", "+Shift +Control +Alt -Alt -Control -Shift"},
        Typed{"a+", "+'a' -'a' +Shift -Shift"}, Typed{"(+)", "+Shift -Shift"},
        Typed{"(a^)", "+'a' -'a' +Control -Control"},
        Typed{"+(a%)", "+Shift +'a' -'a' +Alt -Alt -Shift"},
        Typed{"+(a+)", "+Shift +'a' -'a' -Shift"}, Typed{"^()%", "+Control -Control +Alt -Alt"},
        // Braced characters.
        Typed{"{+}", "+'+' -'+'"}, Typed{"{^}", "+'^' -'^'"}, Typed{"{%}", "+'%' -'%'"},
        Typed{"{~}", "+'~' -'~'"}, Typed{"{(}", "+'(' -'('"}, Typed{"{)}", "+')' -')'"},
        Typed{"{{}", "+'{' -'{'"}, Typed{"{}}", "+'}' -'}'"}, Typed{"{[}", "+'[' -'['"},
        Typed{"{]}", "+']' -']'"}, Typed{"{a}", "+'a' -'a'"}, Typed{"{A}", "+'A' -'A'"},
        Typed{"{ }", "+' ' -' '"}, Typed{"{é}", "+'é' -'é'"},
        Typed{"{{}{}}", "+'{' -'{' +'}' -'}'"}, Typed{"a{+}b", "+'a' -'a' +'+' -'+' +'b' -'b'"},
        Typed{"~", "+Enter -Enter"}, Typed{"a~b", "+'a' -'a' +Enter -Enter +'b' -'b'"},
        Typed{"{ENTER}", "+Enter -Enter"},
        // Key names in any letter case, and their aliases.
        Typed{"{bs}{BKSP}{BackSpace}",
              "+Backspace -Backspace +Backspace -Backspace +Backspace -Backspace"},
        Typed{"{ins}{Insert}{del}{DELETE}",
              "+Insert -Insert +Insert -Insert +Delete -Delete +Delete -Delete"},
        Typed{"{f16}{PrtSc}{apps}", "+F16 -F16 +PrintScreen -PrintScreen +Apps -Apps"},
        // Repeat counts follow the last space; the prefix is held across every repetition.
        Typed{"{LEFT 3}", "+Left -Left +Left -Left +Left -Left"},
        Typed{"{x 2}", "+'x' -'x' +'x' -'x'"}, Typed{"{x 1}", "+'x' -'x'"}, Typed{"{x 0}", ""},
        Typed{"{x 00002}", "+'x' -'x' +'x' -'x'"}, Typed{"{  2}", "+' ' -' ' +' ' -' '"},
        Typed{"{} 2}", "+'}' -'}' +'}' -'}'"}, Typed{"{{ 2}", "+'{' -'{' +'{' -'{'"},
        Typed{"{é 2}", "+'é' -'é' +'é' -'é'"},
        Typed{"+{RIGHT 2}", "+Shift +Right -Right +Right -Right -Shift"},
        Typed{"{enter 2}", "+Enter -Enter +Enter -Enter"}};
    for (const auto& c : cases)
        EXPECT_EQ(describe(parseKeys(c.notation)), c.expected) << "notation: " << c.notation;
    // The largest repeat count.
    EXPECT_EQ(parseKeys("{x 10000}").size(), 20000u);
    EXPECT_EQ(parseKeys("+{LEFT 10000}").size(), 20002u);
}

// Every punctuation character without a meaning in the notation types itself.
TEST(KeyNotation, PlainPunctuationTypesItself) {
    const std::string punctuation = "!@#$&*-_=|\\:;'\",<.>/?`";
    for (char c : punctuation)
        EXPECT_EQ(describe(parseKeys(std::string(1, c))), std::string("+'") + c + "' -'" + c + "'");
}

// Every refused notation fails with 5, whatever part of it is wrong.
TEST(KeyNotation, RefusesBadNotationWithInvalidArgument) {
    const char* const refused[] = {
        // Unbalanced parentheses and unclosed braces.
        ")", "a)", "(a))", "(", "(a", "((a)", "+(ab", "^(a{)}", "{", "a{", "{a", "{}", "{ENTER",
        "{LEFT 5", "{{", "+{",
        // Unknown names and bad repeat counts.
        "{ENTRE}", "{ab}", "{F0}", "{F17}", "{F1 }", "{ LEFT}", "{LEFT  2}", "{SHIFT}", "{é€}",
        "{LEFT 1 2}", "{LEFT 10001}", "{x 99999}", "{x 100000}", "{x 4294967297}", "{LEFT x}",
        "{LEFT -1}", "{LEFT +1}", "{LEFT 1.5}", "{LEFT 5 }", "{x }", "{x ５}",
        // Reserved characters and the square brackets must be braced.
        "}", "a}b", "{ENTER}}", "[", "]", "a[0]", "+[", "(])"};
    for (const char* notation : refused) {
        EXPECT_EQ(test::describeFailure(test::Harness::failureOf([&] { parseKeys(notation); })),
                  "5 \"Invalid procedure call or argument\" at \"Tarn\"")
            << notation;
    }
}

}  // namespace
}  // namespace tarn
