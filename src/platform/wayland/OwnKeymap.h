// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The keymap Tarn's virtual keyboard types with: the US layout, compiled with
// xkbcommon, plus the characters a text needs that it lacks, each bound to a
// keycode the US layout leaves empty. Being Tarn's own, it never depends on
// the user's layout, and the user's keyboard keeps its own keymap. A binding
// stays until its keycode is needed for another character (least recently
// used first), so that a macro typing the same characters again does not
// change the keymap again. Internal to the Wayland keystroke backend.

#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace tarn::wayland {

class OwnKeymap {
  public:
    // A key of the keymap (an XKB keycode, evdev + 8) and whether Shift gives
    // the symbol.
    struct Place {
        std::uint32_t keycode = 0;
        bool shift = false;
    };

    // Null when xkbcommon cannot compile the US layout (no keyboard data).
    static std::unique_ptr<OwnKeymap> create();
    ~OwnKeymap();
    OwnKeymap(const OwnKeymap&) = delete;
    OwnKeymap& operator=(const OwnKeymap&) = delete;

    // Where the US layout has the character or keysym; null when it needs a
    // binding.
    const Place* findCharacter(char32_t character) const;
    const Place* findKeysym(xkb_keysym_t keysym) const;
    // Where a binding has put the keysym; null when none has.
    const Place* findBound(xkb_keysym_t keysym) const;

    // Binds every keysym of `needed` that is not on the keymap yet, giving
    // way the bindings used least recently that `needed` does not hold.
    // False, with nothing changed, when they do not all fit. *rebound tells
    // whether a keycode bound before means another keysym now.
    bool bind(const std::vector<xkb_keysym_t>& needed, bool* rebound = nullptr);
    // Marks a binding as just used.
    void touch(xkb_keysym_t keysym);
    // How many characters can be bound at once.
    std::size_t capacity() const { return spare_.size(); }

    // The keymap as text, and a count that grows with every change of it.
    std::string text() const;
    // Compiles the text as a client does; how long that took, or a negative
    // duration when the text does not compile.
    std::chrono::microseconds compile(const std::string& text) const;
    std::uint64_t generation() const { return generation_; }

    // The modifier masks of the keymap and the keys that set them.
    std::uint32_t shiftMask() const { return shiftMask_; }
    std::uint32_t controlMask() const { return controlMask_; }
    std::uint32_t altMask() const { return altMask_; }
    std::uint32_t capsMask() const { return capsMask_; }
    std::uint32_t shiftKey() const { return shiftKey_; }
    std::uint32_t controlKey() const { return controlKey_; }
    std::uint32_t altKey() const { return altKey_; }

  private:
    OwnKeymap() = default;

    xkb_context* context_ = nullptr;
    xkb_keymap* base_ = nullptr;
    std::string baseText_;
    std::size_t symbolsEnd_ = 0;  // where bindings go into the text
    std::unordered_map<char32_t, Place> characters_;
    std::unordered_map<xkb_keysym_t, Place> keysyms_;
    std::vector<std::uint32_t> spare_;  // keycodes the US layout leaves empty
    struct Binding {
        xkb_keysym_t keysym = 0;
        std::uint64_t lastUse = 0;
    };
    std::map<std::uint32_t, Binding> bindings_;  // by keycode
    std::unordered_map<xkb_keysym_t, Place> bound_;
    std::uint64_t uses_ = 0;
    std::uint64_t generation_ = 0;
    std::uint32_t shiftMask_ = 0, controlMask_ = 0, altMask_ = 0, capsMask_ = 0;
    std::uint32_t shiftKey_ = 0, controlKey_ = 0, altKey_ = 0;
};

}  // namespace tarn::wayland
