#pragma once
// Which key of a United States keyboard a key event came from, as the
// virtual-key code the recorder's key table speaks of (KeyRecorder.h).
//
// On X11 the event's keycode names a physical key. It is looked up in a "us"
// keymap compiled once with xkbcommon (evdev keycodes, as every current X
// server uses), so the recorder writes what that key means on a United States
// keyboard whatever layout the user has: on a German keyboard the key
// labelled Z records "y", the key labelled Ö records ";". Events without a
// native keycode (the offscreen platform, synthesized events) fall back to
// Qt's key, read back to the United States key that gives it.

#include <QKeyEvent>

#include <cstdint>

namespace tarn::editor {

// The virtual-key code of an X keycode on a United States keyboard: keypad
// keys give their digit codes when pbNumLock is set and their navigation
// codes otherwise. 0 for a keycode of no key the recorder knows, and for every
// keycode when the "us" keymap cannot be compiled.
int usKeyCodeOfX11Key(std::uint32_t piKeycode, bool pbNumLock);

// The same for a Qt key (no physical key known): the United States key that
// types it ('!' -> the 1 key), keypad keys by Qt::KeypadModifier.
int usKeyCodeOfQtKey(int piQtKey, Qt::KeyboardModifiers pModifiers);

// The code for the event: by its X keycode when it has one, by its Qt key
// otherwise.
int usKeyCode(const QKeyEvent& poEvent);

// Shift 1, Ctrl 2, Alt 4 as held once the event has happened (Qt already
// counts a modifier key's own press and release in).
int modifierMask(const QKeyEvent& poEvent);

}  // namespace tarn::editor
