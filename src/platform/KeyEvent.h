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

// Readable form for test failure messages and traces: "+Shift +'a' -'a' -Shift".
std::string describe(const KeySequence& keys);

}  // namespace tarn
