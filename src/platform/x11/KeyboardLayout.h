// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the X server's current keyboard map offers for typing: for each keysym
// and character the key and the modifiers that produce it, the keys that act
// as Shift, Control, Alt and AltGr (ISO_Level3_Shift), and the spare keycodes
// that carry no symbol and can be borrowed for characters the map lacks.
// Internal to the XTest keystroke backend.

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace tarn::x11 {

// A key to press and the real modifiers (X mask) to hold with it.
struct KeyPlace {
    xcb_keycode_t keycode = 0;
    std::uint16_t modifiers = 0;
};

// One of the modifier keys the backend presses itself.
struct ModifierKey {
    xcb_keycode_t keycode = 0;  // 0 when the map has none
    std::uint16_t mask = 0;     // the real modifier it sets
};

class KeyboardLayout {
  public:
    // Reads the map of the core keyboard. Null when the server's map cannot be
    // read (connection gone, no XKB).
    static std::unique_ptr<KeyboardLayout> read(xcb_connection_t* connection, xkb_context* context,
                                                std::int32_t device);
    ~KeyboardLayout();
    KeyboardLayout(const KeyboardLayout&) = delete;
    KeyboardLayout& operator=(const KeyboardLayout&) = delete;

    // Indexes what every key gives in `group` with the locked modifiers
    // `locked` in effect (the ones typing keeps, such as Num Lock), pressing at
    // most Shift and AltGr. Must be called before the find functions.
    void index(std::uint32_t group, std::uint16_t locked);

    // Where the character or keysym is, with the fewest modifiers; null when
    // the map does not have it. Keypad keys never stand in for characters, so
    // that Num Lock cannot change them.
    const KeyPlace* findCharacter(char32_t character) const;
    const KeyPlace* findKeysym(xkb_keysym_t keysym) const;

    const ModifierKey& shift() const { return shift_; }
    const ModifierKey& control() const { return control_; }
    const ModifierKey& alt() const { return alt_; }
    const ModifierKey& level3() const { return level3_; }
    std::uint16_t numLockMask() const { return numLockMask_; }
    std::uint16_t lockMask() const { return XCB_MOD_MASK_LOCK; }

    // Keycodes with no symbol in any group and no modifier role.
    const std::vector<xcb_keycode_t>& spareKeycodes() const { return spare_; }
    // Keycodes listed in the modifier mapping (except the Lock row), which is
    // what a user holds as Shift, Control, Alt, AltGr, Super.
    const std::vector<xcb_keycode_t>& modifierKeycodes() const { return modifierKeycodes_; }

  private:
    KeyboardLayout() = default;
    xkb_mod_mask_t toXkb(std::uint16_t xMask) const;

    xkb_keymap* keymap_ = nullptr;
    xkb_state* state_ = nullptr;
    xcb_keycode_t minKeycode_ = 8;
    xcb_keycode_t maxKeycode_ = 255;
    xkb_mod_index_t realIndex_[8] = {};
    ModifierKey shift_, control_, alt_, level3_;
    std::uint16_t numLockMask_ = 0;
    std::vector<xcb_keycode_t> spare_;
    std::vector<xcb_keycode_t> modifierKeycodes_;
    std::unordered_map<char32_t, KeyPlace> characters_;
    std::unordered_map<xkb_keysym_t, KeyPlace> keysyms_;
};

}  // namespace tarn::x11
