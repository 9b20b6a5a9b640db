// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What one layout group of KWin's keymap offers for typing: for each
// character and keysym the key and the level modifiers that give it, the
// keys that set Shift, Control, Alt and AltGr, Caps Lock, and the keys with
// no symbol in any group, on which a scratch group can place characters the
// layout lacks. Keys are XKB keycodes (evdev + 8).

#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "TypingPort.h"

namespace tarn::kwin {

struct SpareKey {
    xkb_keycode_t keycode = 0;
    std::string name;  // as a symbols file names it: "I120"
};

class KeymapIndex {
  public:
    // Indexes `group` of `keymap` (which it does not keep).
    KeymapIndex(xkb_keymap* keymap, xkb_layout_index_t group);

    std::optional<typing::KeyPlace> find(char32_t character, xkb_keysym_t keysym) const;
    std::uint32_t modifierKey(typing::Modifier modifier) const;
    std::uint32_t capsLockKey() const { return capsLock_; }
    // Keys without symbols, modifier role or special meaning, in keycode order.
    const std::vector<SpareKey>& spareKeys() const { return spare_; }
    // The keysym the key gives at its first level in `group` (NoSymbol for none).
    static xkb_keysym_t keysymAt(xkb_keymap* keymap, xkb_keycode_t key, xkb_layout_index_t group);

  private:
    std::unordered_map<char32_t, typing::KeyPlace> characters_;
    std::unordered_map<xkb_keysym_t, typing::KeyPlace> keysyms_;
    std::uint32_t modifiers_[4] = {};
    std::uint32_t capsLock_ = 0;
    std::vector<SpareKey> spare_;
};

}  // namespace tarn::kwin
