// SPDX-License-Identifier: GPL-3.0-or-later
// The upper-case mapping against the Unicode Character Database itself, for
// every letter it lists: a window search that ignores case finds "Șabx" by
// "șabx" as it finds "Äbc" by "äbc".

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Utf8.h"

namespace tarn {
namespace {

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, ';'))
        out.push_back(field);
    return out;
}

char32_t codePoint(const std::string& hex) {
    return static_cast<char32_t>(std::stoul(hex, nullptr, 16));
}

TEST(Utf8Case, EveryLetterUpperCasesAsTheUnicodeDataSays) {
    std::ifstream data(TARN_UNICODE_DATA);
    ASSERT_TRUE(data) << TARN_UNICODE_DATA << " (Debian package unicode-data)";
    std::size_t letters = 0;
    std::size_t mapped = 0;
    char32_t rangeFirst = 0;
    std::string line;
    while (std::getline(data, line)) {
        const std::vector<std::string> f = fields(line);
        ASSERT_GE(f.size(), 13u) << line;
        if (f[2].empty() || f[2][0] != 'L') continue;
        const char32_t c = codePoint(f[0]);
        // A range (the CJK ideographs, Hangul syllables) is listed by its ends;
        // none of its letters has a case.
        if (f[1].find(", First>") != std::string::npos) {
            rangeFirst = c;
            continue;
        }
        const bool rangeLast = f[1].find(", Last>") != std::string::npos;
        for (char32_t letter = rangeLast ? rangeFirst : c; letter <= c; ++letter) {
            const char32_t expected = f[12].empty() || rangeLast ? letter : codePoint(f[12]);
            ++letters;
            mapped += expected != letter;
            ASSERT_EQ(static_cast<std::uint32_t>(utf8::upper(letter)),
                      static_cast<std::uint32_t>(expected))
                << "U+" << f[0] << " " << f[1];
            // The text form agrees, whatever the lengths of the two encodings.
            ASSERT_EQ(utf8::upper(utf8::encode(letter)), utf8::encode(expected)) << "U+" << f[0];
        }
    }
    // The whole database was read: Unicode 15 has over 130000 letters, some
    // 1400 of them with an upper case of their own.
    EXPECT_GT(letters, 130000u);
    EXPECT_GT(mapped, 1400u);
}

}  // namespace
}  // namespace tarn
