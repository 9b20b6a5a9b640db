// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keystrokes on X11 through the XTEST extension, typed exactly whatever the
// keyboard layout:
// - a character on the current map is typed with the key and the shift level
//   (Shift, AltGr) that give it in the current group;
// - any other character is bound to a spare keycode (one with no symbol),
//   all the characters of a Send in one change of the map (KeySymMaps.h). A
//   binding is kept from one Send to the next and used again for the same
//   character; when the spare keycodes run out, the binding used least
//   recently gives way. A keycode is never rebound or restored while a target
//   may still be reading keys typed through it: first every target typed to
//   through a binding must have read the map it was typed with
//   (KeymapReaders.h). restoreLayout() gives the map back as it was found;
//   the owner calls it when a run ends, after a moment without typing, and
//   the destructor calls it last;
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

    // Types through the one typing engine (TypingEngine.h), with its
    // failures: 5 before typing anything when a key cannot be typed on this
    // display (a character with no key symbol, no spare keycode, no Shift,
    // Control or Alt key); 1013 kDisplayClosed when the connection to the
    // display is lost; 1012 kTargetWindowClosed, the rest untyped, once the
    // window that had the focus as typing began is destroyed, unmapped or
    // minimised, or the focus has gone to another program. The server is held
    // while each batch of keys is checked and typed, so none of them reaches
    // another window.
    void type(const KeySequence& keys) override;
    void setStopKey(StopKey* stop) override;
    void restoreLayout() override;
    void restoreLayoutIfIdle(std::chrono::milliseconds idle) override;

  private:
    struct Connection;
    explicit XTestKeyboard(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> d_;
};

}  // namespace tarn::x11
