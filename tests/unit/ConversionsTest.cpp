// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "Conversions.h"
#include "Failure.h"
#include "Harness.h"
#include "Value.h"

namespace tarn {
namespace {

TEST(NumericPrefixValue, ReadsTheLeadingNumber) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"", 0},        {"abc", 0},         {"12", 12},     {"  12abc", 12},    {"1 2 3", 123},
        {"\t1\n0", 10}, {"-3.5", -3.5},     {"+4", 4},      {".5", 0.5},        {"1e3", 1000},
        {"1E+2x", 100}, {"2D2", 200},       {"1e", 1},      {"1.2.3", 1.2},     {"&H10", 16},
        {"&hff", 255},  {"&O17", 15},       {"&HFFFF", -1}, {"&H10000", 65536}, {"&HFFFFFFFF", -1},
        {"&Z1", 0},     {"10 seconds", 10}, {"12.5", 12.5}, {"-", 0},           {"- 5", -5},
        {"5-", 5},      {"e5", 0},          {"0x10", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(numericPrefixValue(c.text), c.value) << "text \"" << c.text << "\"";
    }
    // However long the number, it is read to its end.
    EXPECT_EQ(numericPrefixValue(std::string(500, '0') + " .25"), 0.25);
    EXPECT_EQ(numericPrefixValue(std::string(450, '0') + "1e2"), 100);
}

TEST(StandardForm, RendersAsTheRuntimeDoes) {
    const struct {
        double value;
        const char* text;
    } cases[] = {{0, " 0"},
                 {5, " 5"},
                 {-3, "-3"},
                 {1.5, " 1.5"},
                 {0.5, " .5"},
                 {-0.25, "-.25"},
                 {0.001, " .001"},
                 {0.0001, " .0001"},
                 {0.00001, " 1E-05"},
                 {123456789012345.0, " 123456789012345"},
                 {1e15, " 1E+15"},
                 {1.5e20, " 1.5E+20"},
                 {-2.5e-7, "-2.5E-07"},
                 {1.0 / 3.0, " .333333333333333"},
                 {2.0 / 3.0, " .666666666666667"},
                 {100, " 100"},
                 {1e100, " 1E+100"}};
    for (const auto& c : cases) {
        EXPECT_EQ(standardForm(c.value), c.text) << "value " << c.value;
    }
    // As text the zero before the point is written.
    EXPECT_EQ(numberToText(0.5), "0.5");
    EXPECT_EQ(numberToText(-0.25), "-0.25");
    EXPECT_EQ(numberToText(5), "5");
    EXPECT_EQ(numberToText(0.00001), "1E-05");
}

TEST(NumericText, AcceptsWholeNumbersOnly) {
    for (const char* yes :
         {"5", " 5 ", "-3", "+4", "1.5", ".5", "5.", "1e3", "1E-2", "&H1F", "&o7", "\t7"}) {
        EXPECT_TRUE(isNumericText(yes)) << yes;
    }
    for (const char* no :
         {"", " ", "abc", "5a", "1 2", "&H", "&HG", "--5", ".", "e5", "1e", "0x10", "&O8"}) {
        EXPECT_FALSE(isNumericText(no)) << no;
    }
}

TEST(WholeNumbers, RoundHalfToEvenOrFail) {
    for (const auto& [value, rounded] :
         {std::pair{2.5, 2}, std::pair{3.5, 4}, std::pair{-2.5, -2}, std::pair{-32768.0, -32768}})
        EXPECT_EQ(roundToInteger(value), rounded) << value;
    EXPECT_EQ(roundToLong(2147483647.4), 2147483647);
    const struct {
        Value value;
        bool sixteenBits;
        int number;
    } cases[] = {
        {std::string("abc"), true, 13},
        {std::string(""), true, 13},
        {std::string("40000"), true, 6},
        {40000.0, true, 6},
        {32767.5, true, 6},
        {std::string("2147483648"), false, 6},
        {std::string("1e999"), false, 6},
        {std::string("5 apples"), false, 13},
    };
    for (const auto& c : cases) {
        const auto failure = test::Harness::failureOf(
            [&] { c.sixteenBits ? (void)toInteger(c.value) : (void)toLong(c.value); });
        EXPECT_EQ(failure ? failure->number() : 0, c.number) << toText(c.value);
        EXPECT_EQ(failure ? failure->source() : "", "Tarn") << toText(c.value);
    }
    EXPECT_EQ(toInteger(std::string(" 2.5 ")), 2);
    EXPECT_EQ(toLong(std::string("&H10")), 16);
    EXPECT_EQ(toLong(std::int32_t{-7}), -7);
}

TEST(ValueText, TextNumbersAndBooleans) {
    EXPECT_EQ(toText(Value{std::string(" a ")}), " a ");
    EXPECT_EQ(toText(Value{std::int32_t{-12}}), "-12");
    EXPECT_EQ(toText(Value{0.5}), "0.5");
    EXPECT_TRUE(readsTrue(Value{std::string("TRUE")}));
    EXPECT_TRUE(readsTrue(Value{std::string("tRuE")}));
    EXPECT_FALSE(readsTrue(Value{std::string(" true")}));
    EXPECT_TRUE(readsFalse(Value{std::string("False")}));
    EXPECT_FALSE(readsFalse(Value{std::string("")}));
    EXPECT_FALSE(readsTrue(Value{1.0}));
}

}  // namespace
}  // namespace tarn
