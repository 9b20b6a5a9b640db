// SPDX-License-Identifier: GPL-3.0-or-later
#include "Value.h"

#include "Conversions.h"
#include "Failure.h"
#include "Utf8.h"

namespace tarn {

std::string toText(const Value& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    if (const auto* whole = std::get_if<std::int32_t>(&value)) return std::to_string(*whole);
    return numberToText(std::get<double>(value));
}

bool isNumeric(const Value& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return isNumericText(*text);
    return true;
}

bool readsTrue(const Value& value) {
    return utf8::lowerAscii(toText(value)) == "true";
}
bool readsFalse(const Value& value) {
    return utf8::lowerAscii(toText(value)) == "false";
}

namespace {
double toNumber(const Value& value) {
    if (const auto* whole = std::get_if<std::int32_t>(&value)) return *whole;
    if (const auto* number = std::get_if<double>(&value)) return *number;
    const std::string& text = std::get<std::string>(value);
    if (!isNumericText(text)) throw runtimeFailure(kTypeMismatch);
    return numericTextValue(text);
}
}  // namespace

std::int16_t toInteger(const Value& value) {
    return roundToInteger(toNumber(value));
}
std::int32_t toLong(const Value& value) {
    return roundToLong(toNumber(value));
}

}  // namespace tarn
