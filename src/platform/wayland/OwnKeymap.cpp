// SPDX-License-Identifier: GPL-3.0-or-later
#include "OwnKeymap.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <cstdlib>

namespace tarn::wayland {

namespace {

bool isKeypad(xkb_keysym_t keysym) {
    return keysym >= XKB_KEY_KP_Space && keysym <= XKB_KEY_KP_Equal;
}

}  // namespace

std::unique_ptr<OwnKeymap> OwnKeymap::create() {
    std::unique_ptr<OwnKeymap> map(new OwnKeymap);
    map->context_ = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    if (!map->context_) return nullptr;
    const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
    map->base_ = xkb_keymap_new_from_names(map->context_, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!map->base_) return nullptr;
    char* text = xkb_keymap_get_as_string(map->base_, XKB_KEYMAP_FORMAT_TEXT_V1);
    if (!text) return nullptr;
    map->baseText_ = text;
    std::free(text);
    // Bindings go last into the symbols section, which ends the first "};"
    // on a line of its own after it starts.
    const std::size_t symbols = map->baseText_.find("xkb_symbols");
    if (symbols == std::string::npos) return nullptr;
    map->symbolsEnd_ = map->baseText_.find("\n};", symbols);
    if (map->symbolsEnd_ == std::string::npos) return nullptr;
    ++map->symbolsEnd_;

    xkb_keymap* keymap = map->base_;
    const auto maskOf = [&](const char* name) -> std::uint32_t {
        const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
        return index == XKB_MOD_INVALID ? 0 : 1u << index;
    };
    map->shiftMask_ = maskOf(XKB_MOD_NAME_SHIFT);
    map->controlMask_ = maskOf(XKB_MOD_NAME_CTRL);
    map->altMask_ = maskOf(XKB_MOD_NAME_ALT);
    map->capsMask_ = maskOf(XKB_MOD_NAME_CAPS);

    // Each symbol at the key and level that gives it with the fewest
    // modifiers, Shift at most; keypad keys never stand in for characters,
    // so that Num Lock cannot change them. Only keys every program sees
    // give symbols.
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap);
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= last; ++key) {
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, key, 0);
        bool empty = true;
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* syms = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, key, 0, level, &syms);
            if (count > 0) empty = false;
            if (count != 1 || key > kX11MaxKeycode) continue;
            xkb_mod_mask_t masks[4];
            const std::size_t maskCount =
                xkb_keymap_key_get_mods_for_level(keymap, key, 0, level, masks, 4);
            std::uint32_t mask = ~0u;
            for (std::size_t i = 0; i < maskCount; ++i)
                mask = std::min<std::uint32_t>(mask, masks[i]);
            if (mask != 0 && mask != map->shiftMask_) continue;
            const Place place{key, mask != 0};
            map->keysyms_.emplace(syms[0], place);  // the first (unshifted) wins
            const char32_t c = xkb_keysym_to_utf32(syms[0]);
            if (c && !isKeypad(syms[0])) map->characters_.emplace(c, place);
            if (syms[0] == XKB_KEY_Shift_L) map->shiftKey_ = key;
            if (syms[0] == XKB_KEY_Control_L) map->controlKey_ = key;
            if (syms[0] == XKB_KEY_Alt_L) map->altKey_ = key;
        }
        // A key without a name cannot be given symbols in the text.
        if (empty && xkb_keymap_key_get_name(keymap, key)) map->spare_.push_back(key);
    }
    if (!map->shiftKey_ || !map->controlKey_ || !map->altKey_) return nullptr;
    return map;
}

OwnKeymap::~OwnKeymap() {
    if (base_) xkb_keymap_unref(base_);
    if (context_) xkb_context_unref(context_);
}

const OwnKeymap::Place* OwnKeymap::findCharacter(char32_t character) const {
    auto found = characters_.find(character);
    if (found != characters_.end()) return &found->second;
    const xkb_keysym_t keysym = xkb_utf32_to_keysym(character);
    return keysym == XKB_KEY_NoSymbol ? nullptr : findKeysym(keysym);
}

const OwnKeymap::Place* OwnKeymap::findKeysym(xkb_keysym_t keysym) const {
    auto found = keysyms_.find(keysym);
    return found == keysyms_.end() ? nullptr : &found->second;
}

const OwnKeymap::Place* OwnKeymap::findBound(xkb_keysym_t keysym, std::uint32_t maxKeycode) const {
    auto bound = bound_.find(keysym);
    return bound == bound_.end() || bound->second.keycode > maxKeycode ? nullptr : &bound->second;
}

std::size_t OwnKeymap::capacity(std::uint32_t maxKeycode) const {
    return kLevels *
           static_cast<std::size_t>(std::upper_bound(spare_.begin(), spare_.end(), maxKeycode) -
                                    spare_.begin());
}

bool OwnKeymap::bind(const std::vector<xkb_keysym_t>& needed, std::uint32_t maxKeycode,
                     bool* rebound) {
    if (rebound) *rebound = false;
    std::vector<xkb_keysym_t> missing;
    for (xkb_keysym_t keysym : needed) {
        if (!findKeysym(keysym) && !findBound(keysym, maxKeycode) &&
            std::find(missing.begin(), missing.end(), keysym) == missing.end()) {
            missing.push_back(keysym);
        }
    }
    if (missing.empty()) return true;
    // The slots to take: free ones first, those X programs cannot see
    // before those they can, a first level before a second (which costs
    // Shift), then the least recently used bindings that `needed` does not
    // hold.
    const auto high = std::upper_bound(spare_.begin(), spare_.end(), kX11MaxKeycode);
    const auto reach = std::upper_bound(spare_.begin(), spare_.end(), maxKeycode);
    std::vector<std::uint32_t> free;
    const auto addFree = [&](auto first, auto last) {
        for (std::uint32_t level = 0; level < kLevels; ++level) {
            for (auto key = first; key != last; ++key) {
                const std::uint32_t slot = *key * kLevels + level;
                if (!bindings_.count(slot)) free.push_back(slot);
            }
        }
    };
    addFree(std::min(high, reach), reach);
    addFree(spare_.begin(), std::min(high, reach));
    std::vector<std::pair<std::uint64_t, std::uint32_t>> givers;
    for (const auto& [slot, binding] : bindings_) {
        if (placeOf(slot).keycode <= maxKeycode &&
            std::find(needed.begin(), needed.end(), binding.keysym) == needed.end()) {
            givers.emplace_back(binding.lastUse, slot);
        }
    }
    if (free.size() + givers.size() < missing.size()) return false;
    std::sort(givers.begin(), givers.end());
    for (const auto& giver : givers)
        free.push_back(giver.second);
    for (std::size_t i = 0; i < missing.size(); ++i) {
        // A keysym bound out of reach moves, so that each is bound once at
        // most. Only Wayland programs see the keycode it leaves, and they
        // read the keys typed through it before the keymap that empties it.
        auto moved = bound_.find(missing[i]);
        if (moved != bound_.end()) {
            bindings_.erase(slotOf(moved->second));
            bound_.erase(moved);
        }
        const std::uint32_t slot = free[i];
        auto old = bindings_.find(slot);
        if (old != bindings_.end()) {
            bound_.erase(old->second.keysym);
            if (rebound && placeOf(slot).keycode <= kX11MaxKeycode) *rebound = true;
        }
        bindings_[slot] = Binding{missing[i], ++uses_};
        bound_[missing[i]] = placeOf(slot);
    }
    ++generation_;
    return true;
}

void OwnKeymap::touch(xkb_keysym_t keysym) {
    auto bound = bound_.find(keysym);
    if (bound != bound_.end()) bindings_[slotOf(bound->second)].lastUse = ++uses_;
}

std::chrono::microseconds OwnKeymap::compile(const std::string& text) const {
    const auto start = std::chrono::steady_clock::now();
    xkb_keymap* keymap = xkb_keymap_new_from_string(
        context_, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) return std::chrono::microseconds(-1);
    xkb_keymap_unref(keymap);
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start);
}

std::string OwnKeymap::text() const {
    std::string keys;
    for (auto at = bindings_.begin(); at != bindings_.end();) {
        const std::uint32_t key = placeOf(at->first).keycode;
        std::string names[kLevels];
        for (; at != bindings_.end() && placeOf(at->first).keycode == key; ++at) {
            char name[64];
            if (xkb_keysym_get_name(at->second.keysym, name, sizeof name) > 0)
                names[at->first % kLevels] = name;
        }
        keys += "\tkey <";
        keys += xkb_keymap_key_get_name(base_, key);
        // A second level is Shift's whatever its symbols: without the type
        // named, the compiler would pick one by them (a letter and its
        // capital would follow Caps Lock).
        const std::string first = names[0].empty() ? "NoSymbol" : names[0];
        if (names[1].empty())
            keys += "> { [ " + first + " ] };\n";
        else
            keys += "> { type= \"TWO_LEVEL\", [ " + first + ", " + names[1] + " ] };\n";
    }
    std::string text = baseText_;
    text.insert(symbolsEnd_, keys);
    return text;
}

}  // namespace tarn::wayland
