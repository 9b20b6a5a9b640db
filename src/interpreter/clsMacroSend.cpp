// SPDX-License-Identifier: GPL-3.0-or-later
// Typing keystrokes into the window that has the focus.
#include "Failure.h"
#include "KeyNotation.h"
#include "clsMacro.h"

namespace tarn {

void clsMacro::Send(const std::string& psvKeys) {
    withSource("Send", [&] {
        // The whole string is read before anything is typed, so a malformed
        // string types nothing at all.
        const KeySequence keys = parseKeys(psvKeys);
        mPlatform.keyboard.type(keys);
    });
}

}  // namespace tarn
