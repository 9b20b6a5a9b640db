// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyboardLayout.h"

#include "XcbReply.h"

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon-x11.h>

#include <cstdlib>

namespace tarn::x11 {
namespace {

bool isKeypad(xkb_keysym_t keysym) {
    return keysym >= XKB_KEY_KP_Space && keysym <= XKB_KEY_KP_Equal;
}

}  // namespace

std::unique_ptr<KeyboardLayout> KeyboardLayout::read(xcb_connection_t* connection,
                                                     xkb_context* context, std::int32_t device) {
    std::unique_ptr<KeyboardLayout> layout(new KeyboardLayout);
    layout->keymap_ =
        xkb_x11_keymap_new_from_device(context, connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!layout->keymap_) return nullptr;
    layout->state_ = xkb_state_new(layout->keymap_);
    if (!layout->state_) return nullptr;

    // xkbcommon names the eight real modifiers; their indices are looked up
    // rather than assumed.
    static const char* const realNames[8] = {XKB_MOD_NAME_SHIFT,
                                             XKB_MOD_NAME_CAPS,
                                             XKB_MOD_NAME_CTRL,
                                             "Mod1",
                                             "Mod2",
                                             "Mod3",
                                             "Mod4",
                                             "Mod5"};
    for (int i = 0; i < 8; ++i) {
        layout->realIndex_[i] = xkb_keymap_mod_get_index(layout->keymap_, realNames[i]);
    }

    const xcb_setup_t* setup = xcb_get_setup(connection);
    layout->minKeycode_ = setup->min_keycode;
    layout->maxKeycode_ = setup->max_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;

    auto mappingCookie = xcb_get_keyboard_mapping(connection, setup->min_keycode, count);
    auto modifiersCookie = xcb_get_modifier_mapping(connection);
    Reply<xcb_get_keyboard_mapping_reply_t> mapping{
        xcb_get_keyboard_mapping_reply(connection, mappingCookie, nullptr)};
    Reply<xcb_get_modifier_mapping_reply_t> modifiers{
        xcb_get_modifier_mapping_reply(connection, modifiersCookie, nullptr)};
    if (!mapping || !modifiers) return nullptr;

    // The modifier mapping: eight rows of keycodes_per_modifier keycodes.
    std::vector<std::uint16_t> roleOf(256, 0);
    const xcb_keycode_t* rows = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const int perRow = modifiers.get()->keycodes_per_modifier;
    for (int row = 0; row < 8; ++row) {
        for (int i = 0; i < perRow; ++i) {
            const xcb_keycode_t keycode = rows[row * perRow + i];
            if (keycode == 0) continue;
            roleOf[keycode] |= static_cast<std::uint16_t>(1u << row);
            if (row != 1) layout->modifierKeycodes_.push_back(keycode);
        }
    }

    auto firstSym = [&](xcb_keycode_t keycode) -> xkb_keysym_t {
        const xkb_keysym_t* syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(layout->keymap_, keycode, 0, 0, &syms) < 1) {
            return XKB_KEY_NoSymbol;
        }
        return syms[0];
    };
    // A modifier key: preferably one showing the expected symbol, in any row,
    // its row giving the mask; otherwise the first key of the fallback row.
    auto pick = [&](std::initializer_list<xkb_keysym_t> symbols, int fallbackRow) {
        for (xkb_keysym_t wanted : symbols) {
            for (int row = 0; row < 8; ++row) {
                for (int i = 0; i < perRow; ++i) {
                    const xcb_keycode_t keycode = rows[row * perRow + i];
                    if (keycode != 0 && firstSym(keycode) == wanted) {
                        return ModifierKey{keycode, static_cast<std::uint16_t>(1u << row)};
                    }
                }
            }
        }
        if (fallbackRow >= 0) {
            for (int i = 0; i < perRow; ++i) {
                const xcb_keycode_t keycode = rows[fallbackRow * perRow + i];
                if (keycode != 0) {
                    return ModifierKey{keycode, static_cast<std::uint16_t>(1u << fallbackRow)};
                }
            }
        }
        return ModifierKey{};
    };
    layout->shift_ = pick({XKB_KEY_Shift_L, XKB_KEY_Shift_R}, 0);
    layout->control_ = pick({XKB_KEY_Control_L, XKB_KEY_Control_R}, 2);
    layout->alt_ = pick({XKB_KEY_Alt_L, XKB_KEY_Alt_R, XKB_KEY_Meta_L}, 3);
    layout->level3_ = pick({XKB_KEY_ISO_Level3_Shift}, -1);
    layout->numLockMask_ = pick({XKB_KEY_Num_Lock}, -1).mask;

    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int width = mapping.get()->keysyms_per_keycode;
    for (int k = 0; k < count; ++k) {
        const xcb_keycode_t keycode = static_cast<xcb_keycode_t>(setup->min_keycode + k);
        bool empty = roleOf[keycode] == 0;
        for (int i = 0; empty && i < width; ++i)
            empty = syms[k * width + i] == 0;
        if (empty && xkb_keymap_num_layouts_for_key(layout->keymap_, keycode) == 0) {
            layout->spare_.push_back(keycode);
        }
    }
    return layout;
}

KeyboardLayout::~KeyboardLayout() {
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
}

xkb_mod_mask_t KeyboardLayout::toXkb(std::uint16_t xMask) const {
    xkb_mod_mask_t mask = 0;
    for (int i = 0; i < 8; ++i) {
        if ((xMask & (1u << i)) && realIndex_[i] != XKB_MOD_INVALID) mask |= 1u << realIndex_[i];
    }
    return mask;
}

void KeyboardLayout::index(std::uint32_t group, std::uint16_t locked) {
    characters_.clear();
    keysyms_.clear();
    // Fewest modifiers first, so the first place found for a symbol wins.
    std::vector<std::uint16_t> masks{0};
    if (shift_.keycode) masks.push_back(shift_.mask);
    if (level3_.keycode && level3_.mask != shift_.mask) {
        masks.push_back(level3_.mask);
        if (shift_.keycode) masks.push_back(static_cast<std::uint16_t>(shift_.mask | level3_.mask));
    }
    for (std::uint16_t mask : masks) {
        xkb_state_update_mask(state_, toXkb(mask), 0, toXkb(locked), 0, 0, group);
        for (int k = minKeycode_; k <= maxKeycode_; ++k) {
            const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state_, k);
            if (keysym == XKB_KEY_NoSymbol) continue;
            const KeyPlace place{static_cast<xcb_keycode_t>(k), mask};
            keysyms_.emplace(keysym, place);
            if (isKeypad(keysym)) continue;
            const char32_t character = xkb_keysym_to_utf32(keysym);
            if (character != 0) characters_.emplace(character, place);
        }
    }
}

const KeyPlace* KeyboardLayout::findCharacter(char32_t character) const {
    auto found = characters_.find(character);
    return found == characters_.end() ? nullptr : &found->second;
}

const KeyPlace* KeyboardLayout::findKeysym(xkb_keysym_t keysym) const {
    auto found = keysyms_.find(keysym);
    return found == keysyms_.end() ? nullptr : &found->second;
}

}  // namespace tarn::x11
