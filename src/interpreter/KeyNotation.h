// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The key notation of Send: plain characters, the modifier prefixes "+" "^" "%"
// for the next element or parenthesised group, braced key names and braced
// special characters, "~" for Enter and repeat counts ("{LEFT 5}").

#include <cstddef>
#include <string_view>
#include <vector>

#include "KeyEvent.h"

namespace tarn {

// Turns a keystroke string into key events, modifiers pressed before and
// released after exactly the element or group they apply to. Throws Failure 5
// "Invalid procedure call or argument" for a string it cannot read; nothing is
// returned then, so nothing is typed.
KeySequence parseKeys(std::string_view notation);

// The parts of a keystroke string that are notation rather than typed text, for
// showing them: braced elements and group parentheses, and the modifier
// prefixes and "~". Braces are read as parseKeys reads them (the character
// after "{" always belongs to the braces, so "{}}" is one element); the text
// from an unclosed "{" on has no parts.
struct KeyNotationPart {
    enum class Kind { Braces, Prefix };
    std::size_t begin = 0;  // byte offset
    std::size_t length = 0;
    Kind kind = Kind::Braces;
};
std::vector<KeyNotationPart> keyNotationParts(std::string_view notation);

}  // namespace tarn
