#pragma once
// Keystrokes on X11 through the XTEST extension, typed exactly whatever the
// keyboard layout:
// - a character on the current map is typed with the key and the shift level
//   (Shift, AltGr) that give it in the current group;
// - any other character is bound to a spare keycode (one with no symbol) for
//   the time the target needs to read the binding. All the characters of a
//   Send are bound in one change of the map (KeySymMaps.h), a keycode is never
//   rebound while the target may still be reading keys typed through it, and
//   the map is restored only once the target has read it (KeymapReaders.h).
//   A Send with more distinct such characters than spare keycodes binds them
//   in turns, waiting for the target between turns;
// - Caps Lock and other locked or latched modifiers (except Num Lock, which
//   typing does not depend on) are switched off for the typing and restored
//   after it; modifier keys held down through XTEST are released for the
//   typing and pressed again after it. A {CAPSLOCK} in the keys leaves Caps
//   Lock toggled, as the user asked.
// - Every key the sequence presses is released before type() returns, also
//   when it throws.
//
// No Xlib or XCB type appears here, so that callers and tests stay free of
// them.

#include <memory>

#include "Keyboard.h"

namespace tarn::x11 {

class XTestKeyboard : public tarn::Keyboard {
  public:
    // Opens a connection of its own to `display` (nullptr: $DISPLAY). Null when
    // the display cannot be opened or lacks the XTEST or XKEYBOARD extension.
    static std::unique_ptr<XTestKeyboard> connect(const char* display = nullptr);
    ~XTestKeyboard() override;
    XTestKeyboard(const XTestKeyboard&) = delete;
    XTestKeyboard& operator=(const XTestKeyboard&) = delete;

    // Throws Failure 5 "Invalid procedure call or argument" before typing
    // anything when a key cannot be typed on this display (a character with no
    // key symbol, no spare keycode, no Shift, Control or Alt key), and when the
    // connection to the display is lost.
    void type(const KeySequence& keys) override;

  private:
    struct Connection;
    explicit XTestKeyboard(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> d_;
};

}  // namespace tarn::x11
