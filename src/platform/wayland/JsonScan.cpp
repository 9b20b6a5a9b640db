// SPDX-License-Identifier: GPL-3.0-or-later
#include "JsonScan.h"

#include <cstdlib>

#include "Utf8.h"

namespace tarn::wayland {

namespace {

constexpr int kMaxDepth = 256;

struct Reader {
    const std::string& s;
    std::size_t i = 0;

    void space() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t'))
            ++i;
    }
    bool literal(const char* word) {
        const std::string w(word);
        if (s.compare(i, w.size(), w) != 0) return false;
        i += w.size();
        return true;
    }
    bool hex4(unsigned& value) {
        if (i + 4 > s.size()) return false;
        value = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s[i++];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= static_cast<unsigned>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }
    bool string(std::string& out) {
        if (i >= s.size() || s[i] != '"') return false;
        ++i;
        while (i < s.size() && s[i] != '"') {
            const char c = s[i++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i >= s.size()) return false;
            const char e = s[i++];
            switch (e) {
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'u': {
                    unsigned code = 0;
                    if (!hex4(code)) return false;
                    if (code >= 0xd800 && code < 0xdc00 && literal("\\u")) {
                        unsigned low = 0;
                        if (!hex4(low)) return false;
                        code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
                    }
                    utf8::append(out, static_cast<char32_t>(code));
                    break;
                }
                default:
                    out += e;
            }
        }
        if (i >= s.size()) return false;
        ++i;
        return true;
    }
    bool value(JsonValue& out, int depth) {
        if (depth > kMaxDepth) return false;
        space();
        if (i >= s.size()) return false;
        const char c = s[i];
        if (c == '{') {
            ++i;
            space();
            if (i < s.size() && s[i] == '}') return ++i, true;
            for (;;) {
                space();
                std::string key;
                if (!string(key)) return false;
                space();
                if (i >= s.size() || s[i++] != ':') return false;
                out.members.emplace_back(std::move(key), JsonValue{});
                if (!value(out.members.back().second, depth + 1)) return false;
                space();
                if (i < s.size() && s[i] == ',') {
                    ++i;
                    continue;
                }
                return i < s.size() && s[i++] == '}';
            }
        }
        if (c == '[') {
            ++i;
            space();
            if (i < s.size() && s[i] == ']') return ++i, true;
            for (;;) {
                out.items.emplace_back();
                if (!value(out.items.back(), depth + 1)) return false;
                space();
                if (i < s.size() && s[i] == ',') {
                    ++i;
                    continue;
                }
                return i < s.size() && s[i++] == ']';
            }
        }
        if (c == '"') return string(out.text);
        if (literal("null")) return out.isNull = true;
        if (literal("true")) return out.number = 1, true;
        if (literal("false")) return true;
        char* end = nullptr;
        out.number = std::strtod(s.c_str() + i, &end);
        if (end == s.c_str() + i) return false;
        i = static_cast<std::size_t>(end - s.c_str());
        return true;
    }
};

}  // namespace

bool parseJson(const std::string& text, JsonValue& out) {
    Reader reader{text};
    if (!reader.value(out, 0)) return false;
    reader.space();
    return reader.i == text.size();
}

}  // namespace tarn::wayland
