// SPDX-License-Identifier: GPL-3.0-or-later
// Titles as X clients store them, decoded to UTF-8: no display needed.
#include <gtest/gtest.h>

#include <string>

#include "WindowTitle.h"

namespace tarn::x11 {
namespace {

TEST(WindowTitleTest, DecodesEveryEncodingToValidUtf8) {
    const auto kUtf8 = TitleEncoding::Utf8, kLatin1 = TitleEncoding::Latin1,
               kCompound = TitleEncoding::CompoundText;
    const struct {
        const char* what;
        std::string bytes;
        TitleEncoding encoding;
        bool truncated;
        std::string expected;
    } cases[] = {
        {"UTF-8 as is", "Grüße 日本 ✓", kUtf8, false, "Grüße 日本 ✓"},
        {"bad byte replaced", "a\377b", kUtf8, false, "a\uFFFDb"},
        {"character cut by the read limit dropped", "ab\xE6\x97", kUtf8, true, "ab"},
        {"whole last character kept", "ab\xC3\xBC", kUtf8, true, "abü"},
        {"Latin-1 STRING", "Gr\374\337e aus K\366ln", kLatin1, false, "Grüße aus Köln"},
        {"UTF-8 mislabelled as STRING by a client in the C locale", "Gr\xC3\xBC\xC3\237e", kLatin1,
         false, "Grüße"},
        {"Latin-1 that only looks like a UTF-8 start", "\xC3 la carte", kLatin1, false,
         "Ã la carte"},
        {"Latin-1 C1 range is not Windows-1252", "\x80", kLatin1, false, "\u0080"},
        {"compound text from xterm in the C locale", "\x1B$(BF|K\\\x1B(B Gr\374\337e C", kCompound,
         false, "日本 Grüße C"},
        {"compound text Latin-2", "\x1B-B\xB1\x1B-A\xE9", kCompound, false, "ąé"},
        {"compound text Cyrillic", "\x1B-L\xB0\xB1", kCompound, false, "АБ"},
        {"compound text Korean in GR", "\x1B$)C\xC7\xD1", kCompound, false, "한"},
        {"compound text katakana", "\x1B)I\xB1", kCompound, false, "ｱ"},
        {"compound text UTF-8 segment", "a\x1B%G€\x1B%@b", kCompound, false, "a€b"},
        {"compound text double byte cut off", "ok\x1B$(BF", kCompound, false, "ok"},
        {"compound text unknown set", "\x1B$(Dab", kCompound, false, "\uFFFD"},
        {"compound text extended segment", "x\x1B%/1\x80\205abcdey", kCompound, false, "x\uFFFDy"},
        {"compound text direction marks and controls", "\2331]r\x9B]\x07s", kCompound, false, "rs"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decodeTitle(c.bytes, c.encoding, c.truncated), c.expected) << c.what;
}

}  // namespace
}  // namespace tarn::x11
