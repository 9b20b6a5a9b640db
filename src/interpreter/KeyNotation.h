#pragma once
// The key notation of Send: plain characters, the modifier prefixes "+" "^" "%"
// for the next element or parenthesised group, braced key names and braced
// special characters, "~" for Enter and repeat counts ("{LEFT 5}").

#include <string_view>

#include "KeyEvent.h"

namespace tarn {

// Turns a keystroke string into key events, modifiers pressed before and
// released after exactly the element or group they apply to. Throws Failure 5
// "Invalid procedure call or argument" for a string it cannot read; nothing is
// returned then, so nothing is typed.
KeySequence parseKeys(std::string_view notation);

}  // namespace tarn
