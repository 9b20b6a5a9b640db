// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The runtime's conversions between text and numbers that the macro language
// relies on. The decimal point is always ".", whatever the locale.

#include <cstdint>
#include <string>
#include <string_view>

namespace tarn {

// The numeric prefix value: the longest leading part of the text that reads as
// a number (sign, digits, one ".", exponent), skipping blanks, tabs and line
// feeds wherever they stand; "&H" and "&O" read hexadecimal and octal. A text
// without a leading number gives 0. Failure 6 when the number is too large for
// a double.
double numericPrefixValue(std::string_view text);

// The standard text form of a double: a leading blank unless negative, up to 15
// significant digits, no trailing zeros, no zero before the point (".5"), and
// exponent form ("1E+15", "1E-05") for very large and very small magnitudes.
std::string standardForm(double value);
// How a double becomes text: as the standard form but without the leading
// blank and with the zero before the point ("0.5", "-0.25").
std::string numberToText(double value);

// Whether the text reads as a number (blanks around it allowed).
bool isNumericText(std::string_view text);
// The number a text reads as; only meaningful when isNumericText is true.
double numericTextValue(std::string_view text);

// Rounds half to the even neighbour into the type's range; failure 6 outside it.
std::int16_t roundToInteger(double value);
std::int32_t roundToLong(double value);

}  // namespace tarn
