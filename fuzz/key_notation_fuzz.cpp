// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry for the key notation of Send: any byte string either parses
// into a balanced key sequence or fails with Failure 5 (28 when groups nest too
// deeply), never anything else.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Failure.h"
#include "KeyNotation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const tarn::KeySequence keys = tarn::parseKeys(text);
        // Every press has its release: nothing is left held.
        long balance = 0;
        for (const tarn::KeyEvent& key : keys) {
            balance += key.type == tarn::KeyEvent::Type::Press ? 1 : -1;
            if (balance < 0) std::abort();
        }
        if (balance != 0) std::abort();
    } catch (const tarn::Failure& failure) {
        if (failure.number() != tarn::kInvalidArgument &&
            failure.number() != tarn::kOutOfStackSpace)
            std::abort();
    }
    return 0;
}
