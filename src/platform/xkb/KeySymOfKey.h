#pragma once
// The key symbol each key of the keystroke notation stands for, shared by the
// keystroke backends that work with XKB keymaps (X11 and Wayland).

#include <xkbcommon/xkbcommon.h>

#include "KeyEvent.h"

namespace tarn {

// XKB_KEY_NoSymbol for Key::Character and the modifiers, which every backend
// handles itself.
xkb_keysym_t keysymOf(Key key);

}  // namespace tarn
