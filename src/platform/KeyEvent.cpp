// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyEvent.h"

#include "Utf8.h"

namespace tarn {
namespace {

const char* keyName(Key key) {
    static const char* const names[] = {
        "Character",  "Backspace",   "Tab",      "Enter",  "Pause", "CapsLock", "Escape",
        "PageUp",     "PageDown",    "End",      "Home",   "Left",  "Up",       "Right",
        "Down",       "PrintScreen", "Insert",   "Delete", "F1",    "F2",       "F3",
        "F4",         "F5",          "F6",       "F7",     "F8",    "F9",       "F10",
        "F11",        "F12",         "F13",      "F14",    "F15",   "F16",      "NumLock",
        "ScrollLock", "LeftWin",     "RightWin", "Apps",   "Add",   "Subtract", "Multiply",
        "Divide",     "Shift",       "Control",  "Alt"};
    return names[static_cast<int>(key)];
}

}  // namespace

std::string describe(const KeySequence& keys) {
    std::string out;
    for (const KeyEvent& e : keys) {
        if (!out.empty()) out += ' ';
        out += e.type == KeyEvent::Type::Press ? '+' : '-';
        if (e.key == Key::Character) {
            out += '\'';
            utf8::append(out, e.character);
            out += '\'';
        } else {
            out += keyName(e.key);
        }
    }
    return out;
}

}  // namespace tarn
