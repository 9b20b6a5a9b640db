// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the keystroke backends that work with XKB keymaps (X11 and Wayland)
// share: the key symbol each key of the notation stands for, which characters
// are text, and how a sequence is cut where its characters outgrow the
// keycodes to bind them to.

#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "KeyEvent.h"

namespace tarn {

// XKB_KEY_NoSymbol for Key::Character and the modifiers, which every backend
// handles itself.
xkb_keysym_t keysymOf(Key key);

// The end of the segment of `steps` that starts at `begin`: as many steps as
// fit their distinct keysyms to bind (each step's `spare`, XKB_KEY_NoSymbol
// for none) in `room` keycodes, collected in `needed`.
template <class Steps>
std::size_t segmentEnd(const Steps& steps, std::size_t begin, std::size_t room,
                       std::vector<xkb_keysym_t>& needed) {
    std::size_t end = begin;
    for (; end < steps.size(); ++end) {
        const xkb_keysym_t keysym = steps[end].spare;
        if (keysym == XKB_KEY_NoSymbol) continue;
        if (std::find(needed.begin(), needed.end(), keysym) != needed.end()) continue;
        if (needed.size() == room) break;
        needed.push_back(keysym);
    }
    return end;
}

}  // namespace tarn
