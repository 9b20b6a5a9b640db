// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Syntax.h"
#include "Utf8.h"

namespace tarn {
namespace {

TEST(BlankRemoval, BlanksAtBothEndsAndLeadingTabs) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"  a b  ", "a b"},
                 {"\t\tSend x", "Send x"},
                 {" \t Send x\t", "Send x\t"},
                 {"\t", "\t"},
                 {"\t ", "\t"},
                 {"a\t", "a\t"},
                 {"", ""},
                 {"   ", ""},
                 {"\t \tx", "x"}};
    for (const auto& c : cases)
        EXPECT_EQ(RemoveLeadingAndTrailingSpaces(c.in), c.out) << c.in;
}

TEST(QuoteRemoval, EachEndByItself) {
    EXPECT_EQ(RemoveStartAndEndQuotes("\"abc\""), "abc");
    EXPECT_EQ(RemoveStartAndEndQuotes("\"abc"), "abc");
    EXPECT_EQ(RemoveStartAndEndQuotes("abc\""), "abc");
    EXPECT_EQ(RemoveStartAndEndQuotes("\""), "");
    EXPECT_EQ(RemoveStartAndEndQuotes("\"\"\"\""), "\"\"");
    EXPECT_EQ(RemoveStartAndEndQuotes("a\"b"), "a\"b");
}

TEST(ParameterSplitting, FieldsKeepQuotesAndLoseBlanks) {
    const struct {
        const char* text;
        std::vector<std::string> fields;  // fields 1.. that are not empty
    } cases[] = {
        {"a, \"b,c\" ,d", {"a", "\"b,c\"", "d"}},
        {"a,,c", {"a", "", "c"}},
        {",file.txt", {"", "file.txt"}},
        {"  a  ", {"  a  "}},  // a last field keeps its blanks
        {"a ,\tb\t", {"a", "\tb\t"}},
        {"a,\"", {"a", "\""}},  // a lone quote with no comma after it
        {"\"x\"", {"\"x\""}},
        {"\"a,b\",\"c,d\"", {"\"a,b\"", "\"c,d\""}},
        {"\"\",\"a,b\"", {"\"\"", "\"a,b\""}},  // an empty quoted field first
        {"x\"y\",z", {"x\"y\"", "z"}},
        {"a,", {"a"}},
        {"1,2,3,4,5,6,7,8,9,10,11,12", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
    };
    for (const auto& c : cases) {
        ParameterList fields;
        ParseParameters(c.text, fields);
        EXPECT_EQ(fields[0], "");
        for (std::size_t i = 1; i <= 10; ++i) {
            const std::string expected = i <= c.fields.size() ? c.fields[i - 1] : "";
            EXPECT_EQ(fields[i], expected) << "text \"" << c.text << "\" field " << i;
        }
    }
}

TEST(Utf8, UpperCaseOfEveryScriptWindows1252AndValidity) {
    EXPECT_EQ(utf8::upper("abc xyz"), "ABC XYZ");
    EXPECT_EQ(utf8::upper("éàçøþÿ"), "ÉÀÇØÞŸ");
    EXPECT_EQ(utf8::upper("ąčęłńőšžŀıi"), "ĄČĘŁŃŐŠŽĿII");
    EXPECT_EQ(utf8::upper("αβγσς άέώ"), "ΑΒΓΣΣ ΆΈΏ");
    EXPECT_EQ(utf8::upper("привет ёж"), "ПРИВЕТ ЁЖ");
    EXPECT_EQ(utf8::upper("șabx ǎbc ǆ"), "ȘABX ǍBC Ǆ");
    EXPECT_EQ(utf8::upper("日本 ß"), "日本 ß");
    EXPECT_EQ(utf8::upper(std::string("a\xff") + "b"), std::string("A\xff") + "B");
    EXPECT_EQ(utf8::fromWindows1252("caf\xe9 \x80"), "café €");
    EXPECT_TRUE(utf8::isValid("café €"));
    EXPECT_FALSE(utf8::isValid("caf\xe9"));
    EXPECT_FALSE(utf8::isValid("\xc0\x80"));      // overlong
    EXPECT_FALSE(utf8::isValid("\xed\xa0\x80"));  // surrogate
    EXPECT_FALSE(utf8::isValid("\xe2\x82"));      // cut short
    EXPECT_TRUE(utf8::isValid("\xef\xbf\xbd"));   // U+FFFD itself
    EXPECT_EQ(utf8::toWindows1252("café €✓"), "caf\xe9 \x80?");
    EXPECT_EQ(utf8::completeLength("ab€"), 5u);
    EXPECT_EQ(utf8::completeLength("ab\xe2\x82"), 2u);        // € cut after two bytes
    EXPECT_EQ(utf8::completeLength("ab\xf0"), 2u);            // a lone lead byte
    EXPECT_EQ(utf8::completeLength("\xf0\x9f\x98\x80"), 4u);  // a whole 4-byte character
    EXPECT_EQ(utf8::completeLength("\x80\x80"), 2u);          // no lead: nothing to hold back
    EXPECT_EQ(utf8::left("αβγδ", 2), "αβ");
    EXPECT_EQ(utf8::length("αβγδ"), 4u);
}

}  // namespace
}  // namespace tarn
