// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The layout group through which characters the user's layout lacks are
// typed on Plasma: KWin takes keycodes only, so such a character must be on
// a key of the keymap. The scratch group is the user's active layout plus
// those characters on keys that have no symbol at all; it is an XKB symbols
// file "tarn" in $XDG_CONFIG_HOME/xkb/symbols/, added to the layouts that
// kxkbrc lists and loaded by KWin on the org.kde.keyboard reloadConfig
// signal, and switched to with org.kde.KeyboardLayouts.setLayout.
//
// Before it first changes kxkbrc, a run records the file as it was and the
// active layout in $XDG_CONFIG_HOME/tarn/kwin-keyboard.saved, and takes the
// record away once it has put both back. A run that was killed leaves the
// record; the next run finds it (its process gone) and puts the user's
// configuration back before it types.

#include <xkbcommon/xkbcommon.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarn::kwin {

class KWinScripts;

struct Layout {
    std::string name;     // "de"
    std::string variant;  // "nodeadkeys", or empty
};

class ScratchLayout {
  public:
    // `configHome`: the folder KWin reads kxkbrc from.
    ScratchLayout(KWinScripts& bus, std::string configHome);

    // The layouts KWin has, in group order, and the active one's index.
    // `keymap`, KWin's, names them when KWin has only one.
    std::optional<std::vector<Layout>> layouts(xkb_keymap* keymap);
    std::optional<unsigned> active();
    bool activate(unsigned index);

    // Whether KWin can load the scratch group: it finds symbols files only in
    // folders that existed when it started. Makes the folder when it is
    // missing, for the next Plasma session.
    bool usable();

    // Puts back what a killed run left changed. True when it changed anything.
    bool reclaim();

    // Makes the scratch group `base` plus the keysyms on the named keys, and
    // has KWin reload it; the group's index, or nothing when the
    // configuration cannot be written. The caller waits for the new keymap.
    std::optional<unsigned> install(xkb_keymap* keymap, const Layout& base,
                                    const std::vector<std::pair<std::string, xkb_keysym_t>>& keys);
    bool installed() const { return group_.has_value(); }
    // Gives the user's configuration back: kxkbrc as it was, the symbols file
    // gone, the layout active that was; has KWin reload it.
    void remove();

    // The name of the symbols file and of the layout KWin lists.
    static constexpr const char* kName = "tarn";

  private:
    bool record(unsigned activeIndex);
    bool restoreFrom(const std::string& record);
    void reload();

    KWinScripts& bus_;
    std::string configHome_;
    std::optional<unsigned> group_;  // while installed
};

// The layout and variant that XKB's rules describe as `description`
// ("German (no dead keys)"), as the keymap names its groups.
std::optional<Layout> layoutDescribed(const std::string& description, const std::string& rules);

// kxkbrc with the [Layout] group's keys set to `values` (added where missing).
std::string withLayoutKeys(const std::string& kxkbrc,
                           const std::vector<std::pair<std::string, std::string>>& values);

}  // namespace tarn::kwin
