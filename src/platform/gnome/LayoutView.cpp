// SPDX-License-Identifier: GPL-3.0-or-later
#include "LayoutView.h"

#include <cctype>

namespace tarn::gnome {

LayoutView::LayoutView() : context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {}

LayoutView::~LayoutView() {
    if (context_) xkb_context_unref(context_);
}

bool LayoutView::update(const LayoutNames& names) {
    if (compiled_ && names == names_) return true;
    names_ = names;
    compiled_ = false;
    keysyms_.clear();
    characters_.clear();
    freeKeys_.clear();
    if (!context_) return false;
    // mutter's own rules and model.
    const xkb_rule_names rules{"evdev", "pc105+inet", names.layout.c_str(), names.variant.c_str(),
                               names.options.c_str()};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context_, &rules, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) return false;
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap);
         ++key) {
        const char* name = xkb_keymap_key_get_name(keymap, key);
        if (xkb_keymap_num_layouts_for_key(keymap, key) == 0) {
            // Only the keycodes file's plain numbered keys (<I120>): keys
            // typed on the others (<AB11>, <JPCM>) reached the target as
            // other keys' symbols. Keycodes above 255 reach no X client.
            if (name && name[0] == 'I' && std::isdigit(static_cast<unsigned char>(name[1])) &&
                key <= 255)
                freeKeys_.push_back(name);
            continue;
        }
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, key, 0);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* syms = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, key, 0, level, &syms);
            for (int i = 0; i < count; ++i) {
                keysyms_[syms[i]] = true;
                const char32_t c = xkb_keysym_to_utf32(syms[i]);
                if (c) characters_.emplace(c, syms[i]);
            }
        }
    }
    xkb_keymap_unref(keymap);
    compiled_ = true;
    return true;
}

xkb_keysym_t LayoutView::find(char32_t character, xkb_keysym_t keysym) const {
    if (keysym != XKB_KEY_NoSymbol && has(keysym)) return keysym;
    if (character) {
        const auto found = characters_.find(character);
        if (found != characters_.end()) return found->second;
    }
    return XKB_KEY_NoSymbol;
}

std::string LayoutView::ownSymbols(const std::vector<xkb_keysym_t>& extra) const {
    std::string text =
        "// Tarn's layout while it types characters the user's layout lacks: that layout\n"
        "// and those characters. Tarn's GNOME Shell extension removes it afterwards.\n"
        "default xkb_symbols \"basic\" {\n    include \"" +
        names_.layout + (names_.variant.empty() ? "" : "(" + names_.variant + ")") + "\"\n";
    for (std::size_t i = 0; i < extra.size() && i < freeKeys_.size(); ++i) {
        if (extra[i] == XKB_KEY_NoSymbol) continue;
        char name[64] = {};
        xkb_keysym_get_name(extra[i], name, sizeof name);
        text += "    key <" + freeKeys_[i] + "> { type = \"ONE_LEVEL\", symbols[Group1] = [ " +
                name + " ] };\n";
    }
    return text + "};\n";
}

}  // namespace tarn::gnome
