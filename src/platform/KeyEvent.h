// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the key notation of Send turns into: presses and releases of keys and
// characters, in order. Modifiers are ordinary keys here, held from their press
// to their release.

#include <string>
#include <vector>

namespace tarn {

enum class Key {
    Character,  // the event types KeyEvent::character
    Backspace,
    Tab,
    Enter,
    Pause,
    CapsLock,
    Escape,
    PageUp,
    PageDown,
    End,
    Home,
    Left,
    Up,
    Right,
    Down,
    PrintScreen,
    Insert,
    Delete,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    F11,
    F12,
    F13,
    F14,
    F15,
    F16,
    NumLock,
    ScrollLock,
    LeftWin,
    RightWin,
    Apps,
    Add,
    Subtract,
    Multiply,
    Divide,
    Shift,
    Control,
    Alt,
};

struct KeyEvent {
    enum class Type { Press, Release };
    Type type = Type::Press;
    Key key = Key::Character;
    char32_t character = 0;  // only for Key::Character

    friend bool operator==(const KeyEvent& a, const KeyEvent& b) {
        return a.type == b.type && a.key == b.key && a.character == b.character;
    }
};

using KeySequence = std::vector<KeyEvent>;

// Whether a character is text a keyboard can type: not a control character
// other than those of keys (backspace, tab, line breaks, escape), not a lone
// UTF-16 surrogate. Every keyboard refuses the others, and the key notation
// refuses them already, so that a check of the notation and a run agree.
constexpr bool isTypeableCharacter(char32_t c) {
    if (c < 0x20) return c == U'\b' || c == U'\t' || c == U'\n' || c == U'\r' || c == 0x1b;
    return c < 0xd800 || c > 0xdfff;
}

// Readable form for test failure messages and traces: "+Shift +'a' -'a' -Shift".
std::string describe(const KeySequence& keys);

}  // namespace tarn
