// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's keyboard layout on GNOME as Tarn sees it: compiled here from the
// names the Shell gives (layout, variant, options), the way mutter compiles
// it, to know which keysyms it has and which keycodes it leaves free; and the
// XKB symbols of Tarn's own layout: the user's, plus keysyms it lacks on
// those free keycodes.

#include <xkbcommon/xkbcommon.h>

#include <string>
#include <unordered_map>
#include <vector>

namespace tarn::gnome {

struct LayoutNames {
    std::string layout, variant, options;
    bool operator==(const LayoutNames& o) const {
        return layout == o.layout && variant == o.variant && options == o.options;
    }
};

class LayoutView {
  public:
    LayoutView();
    ~LayoutView();
    LayoutView(const LayoutView&) = delete;
    LayoutView& operator=(const LayoutView&) = delete;

    // Compiles the layout when the names differ from the last; false when it
    // cannot be compiled (the view is then empty).
    bool update(const LayoutNames& names);

    // The layout's keysym for the character (0: none asked) or the keysym
    // itself; XKB_KEY_NoSymbol when it has neither.
    xkb_keysym_t find(char32_t character, xkb_keysym_t keysym) const;
    bool has(xkb_keysym_t keysym) const { return keysyms_.count(keysym) != 0; }
    // How many keysyms the own layout can add.
    std::size_t room() const { return freeKeys_.size(); }
    // The own layout with `extra` on free keycodes (at most room()), the
    // n-th on the n-th free key; XKB_KEY_NoSymbol leaves a key free.
    std::string ownSymbols(const std::vector<xkb_keysym_t>& extra) const;

  private:
    xkb_context* context_ = nullptr;
    LayoutNames names_;
    bool compiled_ = false;
    std::unordered_map<xkb_keysym_t, bool> keysyms_;
    std::unordered_map<char32_t, xkb_keysym_t> characters_;
    std::vector<std::string> freeKeys_;
};

}  // namespace tarn::gnome
