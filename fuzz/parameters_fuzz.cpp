// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry for parameter splitting and the conversions behind values:
// any text splits or fails with 5, and a number's standard form reads back as
// the same number.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Conversions.h"
#include "Failure.h"
#include "Syntax.h"
#include "Value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    tarn::ParameterList fields;
    try {
        tarn::ParseParameters(text, fields);
        for (const std::string& field : fields) {
            if (field.size() > text.size()) std::abort();
        }
    } catch (const tarn::Failure& failure) {
        if (failure.number() != 5) std::abort();
    }

    try {
        const double value = tarn::numericPrefixValue(text);
        const std::string standard = tarn::standardForm(value);
        // The standard form is itself a number in standard form.
        if (tarn::standardForm(tarn::numericPrefixValue(standard)) != standard) std::abort();
        tarn::roundToLong(value);
    } catch (const tarn::Failure& failure) {
        if (failure.number() != 6) std::abort();
    }

    try {
        const tarn::Value value{text};
        if (tarn::isNumeric(value)) tarn::toLong(value);
        tarn::toInteger(value);
    } catch (const tarn::Failure& failure) {
        if (failure.number() != 6 && failure.number() != 13) std::abort();
    }
    tarn::RemoveLeadingAndTrailingSpaces(text);
    tarn::RemoveStartAndEndQuotes(text);
    return 0;
}
