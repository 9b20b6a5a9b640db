// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeymapIndex.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <memory>

namespace tarn::kwin {

namespace {

struct StateFree {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};

// The highest keycode an X11 client can receive: XWayland drops the keys
// above it (KWin's keymap has such keys, <I442> "dollar" among them).
constexpr xkb_keycode_t kHighestKey = 255;

bool isKeypad(xkb_keysym_t keysym) {
    return keysym >= XKB_KEY_KP_Space && keysym <= XKB_KEY_KP_9;
}

// The real modifiers a key sets while it is down.
xkb_mod_mask_t modifiersOf(xkb_keymap* keymap, xkb_keycode_t key) {
    std::unique_ptr<xkb_state, StateFree> state(xkb_state_new(keymap));
    xkb_state_update_key(state.get(), key, XKB_KEY_DOWN);
    return xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED);
}

}  // namespace

xkb_keysym_t KeymapIndex::keysymAt(xkb_keymap* keymap, xkb_keycode_t key,
                                   xkb_layout_index_t group) {
    const xkb_layout_index_t groups = xkb_keymap_num_layouts_for_key(keymap, key);
    if (groups == 0) return XKB_KEY_NoSymbol;
    const xkb_keysym_t* syms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap, key, group % groups, 0, &syms);
    return count == 1 ? syms[0] : XKB_KEY_NoSymbol;
}

KeymapIndex::KeymapIndex(xkb_keymap* keymap, xkb_layout_index_t group) {
    const xkb_keycode_t first = xkb_keymap_min_keycode(keymap);
    const xkb_keycode_t last = std::min(xkb_keymap_max_keycode(keymap), kHighestKey);
    // The keys that set the modifiers, from the group's first level.
    for (xkb_keycode_t key = first; key <= last; ++key) {
        const auto take = [&](std::uint32_t& slot) {
            if (!slot) slot = key;
        };
        switch (keysymAt(keymap, key, group)) {
            case XKB_KEY_Shift_L:
            case XKB_KEY_Shift_R:
                take(modifiers_[0]);
                break;
            case XKB_KEY_Control_L:
            case XKB_KEY_Control_R:
                take(modifiers_[1]);
                break;
            case XKB_KEY_Alt_L:
                take(modifiers_[2]);
                break;
            case XKB_KEY_ISO_Level3_Shift:
                take(modifiers_[3]);
                break;
            case XKB_KEY_Caps_Lock:
                take(capsLock_);
                break;
            default:
                break;
        }
    }
    const xkb_mod_mask_t shift = modifiers_[0] ? modifiersOf(keymap, modifiers_[0]) : 0;
    const xkb_mod_mask_t level3 = modifiers_[3] ? modifiersOf(keymap, modifiers_[3]) : 0;
    // The fewest modifiers first, so that the first place found is kept.
    const struct {
        xkb_mod_mask_t mask;
        std::uint32_t modifiers;
    } levels[] = {{0, 0},
                  {shift, typing::kShift},
                  {level3, typing::kLevel3},
                  {shift | level3, typing::kShift | typing::kLevel3}};
    std::unique_ptr<xkb_state, StateFree> state(xkb_state_new(keymap));
    for (const auto& level : levels) {
        if (level.modifiers && !level.mask) continue;
        if ((level.modifiers & typing::kShift) && !shift) continue;
        if ((level.modifiers & typing::kLevel3) && !level3) continue;
        xkb_state_update_mask(state.get(), level.mask, 0, 0, 0, 0, group);
        for (xkb_keycode_t key = first; key <= last; ++key) {
            const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state.get(), key);
            if (keysym == XKB_KEY_NoSymbol) continue;
            const typing::KeyPlace place{key, level.modifiers};
            keysyms_.emplace(keysym, place);
            const char32_t character = xkb_state_key_get_utf32(state.get(), key);
            if (character && !isKeypad(keysym)) characters_.emplace(character, place);
        }
    }
    for (xkb_keycode_t key = first; key <= last; ++key) {
        if (xkb_keymap_num_layouts_for_key(keymap, key) != 0) continue;
        const char* name = xkb_keymap_key_get_name(keymap, key);
        if (name && *name) spare_.push_back({key, name});
    }
}

std::optional<typing::KeyPlace> KeymapIndex::find(char32_t character, xkb_keysym_t keysym) const {
    if (character) {
        if (auto at = characters_.find(character); at != characters_.end()) return at->second;
    }
    if (keysym != XKB_KEY_NoSymbol) {
        if (auto at = keysyms_.find(keysym); at != keysyms_.end()) return at->second;
    }
    return std::nullopt;
}

std::uint32_t KeymapIndex::modifierKey(typing::Modifier modifier) const {
    for (int i = 0; i < 4; ++i)
        if (typing::kModifiers[i] == modifier) return modifiers_[i];
    return 0;
}

}  // namespace tarn::kwin
