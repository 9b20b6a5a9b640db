// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The key symbols of every keycode as XKB holds them, and writing keycodes'
// symbols in one request. Binding characters to spare keycodes this way keeps
// every other part of the keyboard description as it is (key types, actions,
// explicit components), so writing the saved maps back restores the keyboard
// exactly, and a whole batch of bindings costs the clients one notification
// instead of one per keycode. Internal to the XTest keystroke backend.

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace tarn::x11 {

class KeySymMaps {
  public:
    // Reads the symbols of every keycode of the core keyboard. Null when the
    // server does not answer.
    static std::unique_ptr<KeySymMaps> read(xcb_connection_t* connection, std::int32_t device);

    // One request: each keycode of `bind` gets its keysym alone on one level
    // of one group, each keycode of `restore` gets its symbols back as read.
    // Keycodes between them are written as the server has them now (read
    // again first), never as they were when this object read them.
    void write(xcb_connection_t* connection, std::int32_t device,
               const std::vector<std::pair<xcb_keycode_t, xkb_keysym_t>>& bind,
               const std::vector<xcb_keycode_t>& restore);

    // A keycode's symbols as read, in their wire form.
    const std::vector<std::uint8_t>& original(xcb_keycode_t keycode) const {
        return original_[keycode];
    }
    // Takes these as the keycode's symbols as found (those an earlier run
    // noted before it borrowed the keycode), for a restore to write.
    void setOriginal(xcb_keycode_t keycode, std::vector<std::uint8_t> symbols) {
        original_[keycode] = std::move(symbols);
    }

  private:
    KeySymMaps() = default;
    bool readCurrent(xcb_connection_t* connection, std::int32_t device,
                     std::vector<std::vector<std::uint8_t>>& maps);

    xcb_keycode_t minKeycode_ = 8;
    xcb_keycode_t maxKeycode_ = 255;
    // The wire form of each keycode's KeySymMap (kt_index[4], groupInfo,
    // width, nSyms, syms), indexed by keycode: as read, and as last written.
    std::vector<std::vector<std::uint8_t>> original_;
    std::vector<std::vector<std::uint8_t>> current_;
};

}  // namespace tarn::x11
