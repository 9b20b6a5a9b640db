// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowTitle.h"

#include <iconv.h>

#include <algorithm>
#include <cstdint>

#include "Utf8.h"

namespace tarn::x11 {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Converts one character's bytes with iconv; U+FFFD when that fails.
void appendConverted(std::string& out, const char* from, std::string_view bytes) {
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        utf8::append(out, kReplacement);
        return;
    }
    std::string input(bytes);
    char converted[16];
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* o = converted;
    std::size_t outLeft = sizeof converted;
    bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<std::size_t>(-1) &&
              inLeft == 0 && o != converted;
    iconv_close(cd);
    if (ok)
        out.append(converted, static_cast<std::size_t>(o - converted));
    else
        utf8::append(out, kReplacement);
}

std::string cleanUtf8(std::string_view text, bool truncated) {
    // A property read up to a size may end in a cut character: drop it.
    if (truncated) text = text.substr(0, utf8::completeLength(text));
    if (utf8::isValid(text)) return std::string(text);
    std::string out;
    for (std::size_t pos = 0; pos < text.size();)
        utf8::append(out, utf8::next(text, pos));
    return out;
}

std::string fromLatin1(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text)
        utf8::append(out, c);
    return out;
}

// A character set designated into GL or GR by compound text (X Consortium,
// "Compound Text Encoding", version 1.1).
struct CharacterSet {
    enum Kind { Ascii, Latin1Upper, JisRoman, JisKatakana, SingleByte, DoubleByte, Unknown };
    Kind kind = Ascii;
    const char* iconvName = nullptr;  // SingleByte: the ISO 8859 part; DoubleByte: its EUC form
    int width = 1;
};

CharacterSet set94(char final) {
    switch (final) {
        case 'B':
            return {CharacterSet::Ascii};
        case 'J':
            return {CharacterSet::JisRoman};
        case 'I':
            return {CharacterSet::JisKatakana};
        default:
            return {CharacterSet::Unknown};
    }
}

CharacterSet set96(char final) {
    switch (final) {
        case 'A':
            return {CharacterSet::Latin1Upper};
        case 'B':
            return {CharacterSet::SingleByte, "ISO-8859-2"};
        case 'C':
            return {CharacterSet::SingleByte, "ISO-8859-3"};
        case 'D':
            return {CharacterSet::SingleByte, "ISO-8859-4"};
        case 'F':
            return {CharacterSet::SingleByte, "ISO-8859-7"};
        case 'G':
            return {CharacterSet::SingleByte, "ISO-8859-6"};
        case 'H':
            return {CharacterSet::SingleByte, "ISO-8859-8"};
        case 'L':
            return {CharacterSet::SingleByte, "ISO-8859-5"};
        case 'M':
            return {CharacterSet::SingleByte, "ISO-8859-9"};
        case 'b':
            return {CharacterSet::SingleByte, "ISO-8859-15"};
        default:
            return {CharacterSet::Unknown};
    }
}

CharacterSet set94x94(char final) {
    switch (final) {
        case 'A':
            return {CharacterSet::DoubleByte, "EUC-CN", 2};
        case 'B':
            return {CharacterSet::DoubleByte, "EUC-JP", 2};
        case 'C':
            return {CharacterSet::DoubleByte, "EUC-KR", 2};
        default:
            return {CharacterSet::Unknown, nullptr, 2};
    }
}

// Appends the character that starts at text[pos] in `set` (bytes of GL or
// GR alike) and returns how many bytes it took; 0 when it was cut off.
std::size_t decodeCharacter(std::string& out, const CharacterSet& set, std::string_view text,
                            std::size_t pos) {
    if (pos + static_cast<std::size_t>(set.width) > text.size()) return 0;
    auto byte = static_cast<unsigned char>(text[pos]);
    unsigned char low = byte & 0x7F;
    switch (set.kind) {
        case CharacterSet::Ascii:
            utf8::append(out, low);
            break;
        case CharacterSet::Latin1Upper:
            utf8::append(out, low | 0x80u);
            break;
        case CharacterSet::JisRoman:
            utf8::append(out, low == 0x5C ? U'\u00A5' : low == 0x7E ? U'\u203E' : low);
            break;
        case CharacterSet::JisKatakana:
            utf8::append(out, low >= 0x21 && low <= 0x5F ? 0xFF61 + (low - 0x21) : kReplacement);
            break;
        case CharacterSet::SingleByte: {
            char upper = static_cast<char>(low | 0x80);
            appendConverted(out, set.iconvName, std::string_view(&upper, 1));
            break;
        }
        case CharacterSet::DoubleByte: {
            char euc[2] = {static_cast<char>(byte | 0x80),
                           static_cast<char>(static_cast<unsigned char>(text[pos + 1]) | 0x80)};
            appendConverted(out, set.iconvName, std::string_view(euc, 2));
            break;
        }
        case CharacterSet::Unknown:
            utf8::append(out, kReplacement);
            break;
    }
    return static_cast<std::size_t>(set.width);
}

std::string fromCompoundText(std::string_view text) {
    CharacterSet gl{CharacterSet::Ascii};
    CharacterSet gr{CharacterSet::Latin1Upper};
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto byte = static_cast<unsigned char>(text[pos]);
        if (byte == 0x1B) {
            // ESC, intermediate bytes (0x20-0x2F), one final byte.
            std::size_t end = pos + 1;
            while (end < text.size() && (text[end] & 0xF0) == 0x20)
                ++end;
            if (end >= text.size()) break;
            std::string_view intermediates = text.substr(pos + 1, end - pos - 1);
            char final = text[end];
            pos = end + 1;
            if (intermediates == "(") {
                gl = set94(final);
            } else if (intermediates == ")") {
                gr = set94(final);
            } else if (intermediates == "-") {
                gr = set96(final);
            } else if (intermediates == "$(" || (intermediates == "$" && final >= 0x40)) {
                gl = set94x94(final);
            } else if (intermediates == "$)") {
                gr = set94x94(final);
            } else if (intermediates == "%" && final == 'G') {
                // UTF-8 up to ESC % @.
                std::size_t stop = text.find("\x1B%@", pos);
                std::size_t length =
                    stop == std::string_view::npos ? text.size() - pos : stop - pos;
                out += cleanUtf8(text.substr(pos, length), stop == std::string_view::npos);
                pos = stop == std::string_view::npos ? text.size() : stop + 3;
            } else if (intermediates == "%/" && pos + 2 <= text.size()) {
                // An extended segment: two length bytes, then the data, which
                // is in an encoding named inside it that we do not know.
                std::size_t length = (static_cast<unsigned char>(text[pos]) & 0x7F) * 128u +
                                     (static_cast<unsigned char>(text[pos + 1]) & 0x7F);
                pos = std::min(text.size(), pos + 2 + length);
                utf8::append(out, kReplacement);
            }
            continue;
        }
        if (byte == 0x9B) {
            // CSI: direction changes, parameters up to a final byte.
            ++pos;
            while (pos < text.size() && !(text[pos] >= 0x40 && text[pos] <= 0x7E))
                ++pos;
            ++pos;
            continue;
        }
        if (byte == '\t' || byte == '\n' || byte == ' ') {
            out += static_cast<char>(byte);
            ++pos;
            continue;
        }
        if ((byte > 0x20 && byte < 0x7F) || (byte >= 0xA0)) {
            std::size_t used = decodeCharacter(out, byte < 0x80 ? gl : gr, text, pos);
            if (used == 0) break;  // a double-byte character cut off at the end
            pos += used;
            continue;
        }
        ++pos;  // other controls carry nothing for a title
    }
    return out;
}

}  // namespace

std::string decodeTitle(std::string_view bytes, TitleEncoding encoding, bool truncated) {
    switch (encoding) {
        case TitleEncoding::Utf8:
            return cleanUtf8(bytes, truncated);
        case TitleEncoding::Latin1:
            // Clients started in the C locale store the UTF-8 they were given
            // as a "Latin-1" STRING. Read as Latin-1 it would turn into
            // mojibake ("GrÃ¼ÃŸe"), while real Latin-1 text is practically
            // never valid UTF-8 once it holds a byte above 0x7F.
            if (utf8::isValid(bytes) && std::any_of(bytes.begin(), bytes.end(), [](char c) {
                    return static_cast<unsigned char>(c) >= 0x80;
                }))
                return std::string(bytes);
            return fromLatin1(bytes);
        case TitleEncoding::CompoundText:
            return fromCompoundText(bytes);
    }
    return {};
}

}  // namespace tarn::x11
