// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a macro parameter or right-hand side evaluates to.

#include <cstdint>
#include <string>
#include <variant>

namespace tarn {

// A text, a 32-bit whole number (a process or window ID from an embedded
// command) or a double (a numeric literal).
using Value = std::variant<std::string, std::int32_t, double>;

// The value as text: a text as it is, a whole number as its decimal digits, a
// double in its standard form without the leading blank.
std::string toText(const Value& value);

// Whether the value counts as a number: a whole number or a double always, a
// text when it reads as one.
bool isNumeric(const Value& value);

// The value converted to text and lower-cased equals "true" / "false".
bool readsTrue(const Value& value);
bool readsFalse(const Value& value);

// Whole-number conversions: a number is rounded half to even; a text must read
// as a number (else failure 13); out of range is failure 6.
std::int16_t toInteger(const Value& value);
std::int32_t toLong(const Value& value);

}  // namespace tarn
