// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The keymap Tarn's virtual keyboard types with: the US layout, compiled with
// xkbcommon, plus the characters a text needs that it lacks, each bound to a
// level of a keycode the US layout leaves empty (two levels a keycode, the
// second with Shift: every keymap change costs the programs that read it, an
// X server under XWayland most of all, so each holds as many as it can).
// Being Tarn's own, it never depends on the user's layout, and the user's
// keyboard keeps its own keymap. A binding stays until its level is needed
// for another character (least recently used first), so that a macro typing
// the same characters again does not change the keymap again.
// The keycodes a target sees differ: a Wayland program sees them all, an X11
// program under XWayland those up to kX11MaxKeycode only, where few are
// spare. So every question about bindings names the highest keycode the
// target sees: a character bound above it counts as unbound there (binding
// it moves it down), and bindings go above kX11MaxKeycode where the target
// allows, leaving the low keycodes to the characters X programs need.
// Internal to the Wayland keystroke backend.

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

    // The highest keycode X11 programs see (their protocol has a byte for
    // it), and one no keycode of the keymap is above.
    static constexpr std::uint32_t kX11MaxKeycode = 255;
    static constexpr std::uint32_t kAnyKeycode = ~std::uint32_t{0};

    // Null when xkbcommon cannot compile the US layout (no keyboard data).
    static std::unique_ptr<OwnKeymap> create();
    ~OwnKeymap();
    OwnKeymap(const OwnKeymap&) = delete;
    OwnKeymap& operator=(const OwnKeymap&) = delete;

    // Where the US layout has the character or keysym; null when it needs a
    // binding.
    const Place* findCharacter(char32_t character) const;
    const Place* findKeysym(xkb_keysym_t keysym) const;
    // Where a binding has put the keysym, at `maxKeycode` or below; null when
    // none has.
    const Place* findBound(xkb_keysym_t keysym, std::uint32_t maxKeycode) const;

    // Binds every keysym of `needed` that is not on the keymap at
    // `maxKeycode` or below yet, to keycodes there, giving way the bindings
    // there used least recently that `needed` does not hold; a keysym bound
    // only above `maxKeycode` moves. False, with nothing changed, when they
    // do not all fit. *rebound tells whether a keycode that X programs see,
    // bound before, means another keysym now: they alone may look up keys
    // typed through it before with the new meaning.
    bool bind(const std::vector<xkb_keysym_t>& needed, std::uint32_t maxKeycode,
              bool* rebound = nullptr);
    // Marks a binding as just used.
    void touch(xkb_keysym_t keysym);
    // How many characters can be bound at once at `maxKeycode` or below.
    std::size_t capacity(std::uint32_t maxKeycode) const;

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
    std::vector<std::uint32_t> spare_;  // keycodes the US layout leaves empty, ascending
    struct Binding {
        xkb_keysym_t keysym = 0;
        std::uint64_t lastUse = 0;
    };
    // A level of a spare keycode: keycode * kLevels + level.
    static constexpr std::uint32_t kLevels = 2;
    static Place placeOf(std::uint32_t slot) { return Place{slot / kLevels, slot % kLevels != 0}; }
    static std::uint32_t slotOf(const Place& place) {
        return place.keycode * kLevels + (place.shift ? 1 : 0);
    }
    std::map<std::uint32_t, Binding> bindings_;      // by slot
    std::unordered_map<xkb_keysym_t, Place> bound_;  // the same, by keysym: one each
    std::uint64_t uses_ = 0;
    std::uint64_t generation_ = 0;
    std::uint32_t shiftMask_ = 0, controlMask_ = 0, altMask_ = 0, capsMask_ = 0;
    std::uint32_t shiftKey_ = 0, controlKey_ = 0, altKey_ = 0;
};

}  // namespace tarn::wayland
