// SPDX-License-Identifier: GPL-3.0-or-later
#include "Utf8.h"

#include <glib.h>

namespace tarn::utf8 {

char32_t next(std::string_view text, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int extra;
    char32_t cp;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + extra >= text.size()) {
        ++pos;
        return 0xFFFD;
    }
    for (int i = 1; i <= extra; ++i) {
        const unsigned char c = byte(pos + i);
        if ((c & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return 0xFFFD;
    }
    pos += extra + 1;
    return cp;
}

void append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string encode(char32_t codePoint) {
    std::string out;
    append(out, codePoint);
    return out;
}

bool isValid(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t before = pos;
        if (next(bytes, pos) == 0xFFFD) {
            // U+FFFD written out is valid; a decoding error advances one byte.
            if (pos - before != 3) return false;
        }
    }
    return true;
}

std::size_t completeLength(std::string_view bytes) {
    std::size_t end = bytes.size();
    std::size_t continuation = 0;
    while (end > 0 && continuation < 3 &&
           (static_cast<unsigned char>(bytes[end - 1]) & 0xC0) == 0x80) {
        --end;
        ++continuation;
    }
    if (end == 0) return bytes.size();
    const auto lead = static_cast<unsigned char>(bytes[end - 1]);
    const std::size_t needed = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    return needed > continuation ? end - 1 : bytes.size();
}

namespace {
// Windows-1252 bytes 0x80 to 0x9F; the undefined ones keep their C1 value.
constexpr char16_t kHigh1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace

std::string fromWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) {
            out += ch;
        } else if (b < 0xA0) {
            append(out, kHigh1252[b - 0x80]);
        } else {
            append(out, b);
        }
    }
    return out;
}

std::string toWindows1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t cp = next(text, pos);
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        char mapped = '?';
        for (int i = 0; i < 32; ++i) {
            if (kHigh1252[i] == cp) mapped = static_cast<char>(0x80 + i);
        }
        out += mapped;
    }
    return out;
}

char32_t upper(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    // Beyond ASCII the mapping is the Unicode Character Database's, as GLib
    // keeps it up to date; a value outside Unicode is no letter.
    if (c > 0x10FFFF) return c;
    return static_cast<char32_t>(g_unichar_toupper(static_cast<gunichar>(c)));
}

std::string upper(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto b = static_cast<unsigned char>(text[pos]);
        if (b < 0x80) {
            out += (b >= 'a' && b <= 'z') ? static_cast<char>(b - 0x20) : static_cast<char>(b);
            ++pos;
            continue;
        }
        const std::size_t start = pos;
        const char32_t cp = next(text, pos);
        if (cp == 0xFFFD && pos - start != 3) {
            out += text[start];  // an invalid byte stays as it is
            continue;
        }
        append(out, upper(cp));
    }
    return out;
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& ch : out) {
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 0x20);
    }
    return out;
}

std::string_view left(std::string_view text, std::size_t count) {
    std::size_t pos = 0;
    for (std::size_t n = 0; n < count && pos < text.size(); ++n)
        next(text, pos);
    return text.substr(0, pos);
}

std::size_t length(std::string_view text) {
    std::size_t pos = 0;
    std::size_t n = 0;
    while (pos < text.size()) {
        next(text, pos);
        ++n;
    }
    return n;
}

}  // namespace tarn::utf8
