// SPDX-License-Identifier: GPL-3.0-or-later
#include "Conversions.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "Failure.h"

namespace tarn {
namespace {

bool isSkipped(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Sign, digits, point, exponent letters, and "&H"/"&O" with hexadecimal digits.
bool canBeInNumber(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == '+' || c == '-' ||
           c == '.' || c == '&' || c == 'h' || c == 'H' || c == 'o' || c == 'O';
}

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// "&H" and "&O" numbers: up to 16 bits they read as a signed 16-bit number, up to
// 32 bits as a signed 32-bit one ("&HFFFF" is -1), as the runtime does.
double radixValue(const std::string& digits, int radix) {
    std::uint64_t value = 0;
    for (char c : digits) {
        const int d = digitValue(c);
        if (d >= radix) break;
        value = value * radix + d;
        if (value > 0xFFFFFFFFull) throw runtimeFailure(kOverflow);
    }
    if (value <= 0xFFFF) return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// Reads sign, digits, point and exponent from the start of s into a plain
// number text that strtod understands; returns how much of s it used.
std::size_t scanDecimal(std::string_view s, std::string& out, bool allowSign) {
    std::size_t i = 0;
    if (allowSign && i < s.size() && (s[i] == '+' || s[i] == '-')) out += s[i++];
    std::size_t mantissaDigits = 0;
    while (i < s.size() && isDigit(s[i]))
        out += s[i++], ++mantissaDigits;
    if (i < s.size() && s[i] == '.') {
        out += s[i++];
        while (i < s.size() && isDigit(s[i]))
            out += s[i++], ++mantissaDigits;
    }
    if (mantissaDigits == 0) {
        out.clear();
        return 0;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent += s[j++];
        if (j < s.size() && isDigit(s[j])) {
            while (j < s.size() && isDigit(s[j]))
                exponent += s[j++];
            out += exponent;
            i = j;
        }
    }
    return i;
}

double toDouble(const std::string& number) {
    if (number.empty()) return 0;
    const double value = std::strtod(number.c_str(), nullptr);
    if (std::isinf(value)) throw runtimeFailure(kOverflow);
    return value;
}

}  // namespace

double numericPrefixValue(std::string_view text) {
    std::string compact;
    compact.reserve(std::min<std::size_t>(text.size(), 64));
    for (char c : text) {
        if (isSkipped(c)) continue;
        // A character no number can hold ends the leading number, however
        // long it is.
        if (!canBeInNumber(c)) break;
        compact += c;
    }
    if (compact.size() >= 2 && compact[0] == '&') {
        const char kind = compact[1];
        if (kind == 'h' || kind == 'H') return radixValue(compact.substr(2), 16);
        if (kind == 'o' || kind == 'O') return radixValue(compact.substr(2), 8);
        return 0;
    }
    std::string number;
    scanDecimal(compact, number, true);
    return toDouble(number);
}

namespace {

// The runtime's rendering of a double; zeroBeforePoint writes "0.5" where the
// standard form writes ".5".
std::string renderNumber(double value, bool zeroBeforePoint) {
    if (value == 0 || std::isnan(value)) return "0";
    if (std::isinf(value)) return value > 0 ? "1.#INF" : "-1.#INF";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", value);
    // buffer: [-]d.dddddddddddddde[+-]xx
    std::string text(buffer);
    const bool negative = text[0] == '-';
    if (negative) text.erase(0, 1);
    const std::size_t e = text.find('e');
    const int exponent = std::atoi(text.c_str() + e + 1);
    std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out = negative ? "-" : "";
    if (exponent >= 15 || exponent < -4) {
        out += digits[0];
        if (digits.size() > 1) out += '.' + digits.substr(1);
        char exp[16];
        std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        out += exp;
    } else if (exponent < 0) {
        if (zeroBeforePoint) out += '0';
        out += '.' + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    } else {
        const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intDigits) {
            out += digits + std::string(intDigits - digits.size(), '0');
        } else {
            out += digits.substr(0, intDigits) + '.' + digits.substr(intDigits);
        }
    }
    return out;
}

}  // namespace

std::string numberToText(double value) {
    return renderNumber(value, true);
}

std::string standardForm(double value) {
    std::string text = renderNumber(value, false);
    return text[0] == '-' ? text : ' ' + text;
}

namespace {
std::string_view trimBlanksAndTabs(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// The whole text as a number: the decimal form, or "&H"/"&O" with valid digits.
bool readWhole(std::string_view text, double* value) {
    const std::string_view s = trimBlanksAndTabs(text);
    if (s.size() >= 3 && s[0] == '&') {
        const int radix = (s[1] == 'h' || s[1] == 'H') ? 16 : (s[1] == 'o' || s[1] == 'O') ? 8 : 0;
        if (radix == 0) return false;
        for (char c : s.substr(2)) {
            if (digitValue(c) >= radix) return false;
        }
        if (s.size() - 2 > (radix == 16 ? 8u : 11u)) return false;
        if (value) *value = radixValue(std::string(s.substr(2)), radix);
        return true;
    }
    std::string number;
    const std::size_t used = scanDecimal(s, number, true);
    if (used == 0 || used != s.size()) return false;
    if (value) *value = toDouble(number);
    return true;
}
}  // namespace

bool isNumericText(std::string_view text) {
    try {
        return readWhole(text, nullptr);
    } catch (const Failure&) {
        return true;  // a number, only too large: the conversion reports it
    }
}

double numericTextValue(std::string_view text) {
    double value = 0;
    readWhole(text, &value);
    return value;
}

std::int16_t roundToInteger(double value) {
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) throw runtimeFailure(kOverflow);
    return static_cast<std::int16_t>(rounded);
}

std::int32_t roundToLong(double value) {
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) throw runtimeFailure(kOverflow);
    return static_cast<std::int32_t>(rounded);
}

}  // namespace tarn
