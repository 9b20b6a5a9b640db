// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeySymMaps.h"

// xkb.h names a member "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>
#include <cstring>

#include "XcbReply.h"

namespace tarn::x11 {
namespace {

constexpr std::size_t kHeader = 8;  // kt_index[4], groupInfo, width, nSyms

std::uint16_t symCount(const std::uint8_t* map) {
    std::uint16_t n;
    std::memcpy(&n, map + 6, 2);
    return n;
}

}  // namespace

std::unique_ptr<KeySymMaps> KeySymMaps::read(xcb_connection_t* connection, std::int32_t device) {
    std::unique_ptr<KeySymMaps> maps(new KeySymMaps);
    if (!maps->readCurrent(connection, device, maps->original_)) return nullptr;
    maps->current_ = maps->original_;
    return maps;
}

bool KeySymMaps::readCurrent(xcb_connection_t* connection, std::int32_t device,
                             std::vector<std::vector<std::uint8_t>>& maps) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    const Reply<xcb_xkb_get_map_reply_t> reply{xcb_xkb_get_map_reply(
        connection,
        xcb_xkb_get_map(connection, static_cast<xcb_xkb_device_spec_t>(device),
                        XCB_XKB_MAP_PART_KEY_SYMS, 0, 0, 0, setup->min_keycode,
                        static_cast<std::uint8_t>(count), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
        nullptr)};
    if (!reply || reply->firstKeySym != setup->min_keycode || reply->nKeySyms != count)
        return false;
    minKeycode_ = reply->minKeyCode;
    maxKeycode_ = reply->maxKeyCode;
    maps.assign(256, {});

    // With only the key symbols asked for, the map part is their list.
    const std::uint8_t* at = static_cast<const std::uint8_t*>(xcb_xkb_get_map_map(reply.get()));
    const std::uint8_t* end = reinterpret_cast<const std::uint8_t*>(reply.get()) + 32 +
                              static_cast<std::size_t>(reply->length) * 4;
    bool complete = true;
    for (int i = 0; i < reply->nKeySyms; ++i) {
        if (at + kHeader > end) {
            complete = false;
            break;
        }
        const std::size_t size = kHeader + 4u * symCount(at);
        if (at + size > end) {
            complete = false;
            break;
        }
        maps[reply->firstKeySym + i].assign(at, at + size);
        at += size;
    }
    return complete;
}

void KeySymMaps::write(xcb_connection_t* connection, std::int32_t device,
                       const std::vector<std::pair<xcb_keycode_t, xkb_keysym_t>>& bind,
                       const std::vector<xcb_keycode_t>& restore) {
    if (bind.empty() && restore.empty()) return;
    int low = 256, high = -1;
    for (const auto& [keycode, keysym] : bind) {
        // One group of the ONE_LEVEL type (index 0): the symbol whatever the
        // modifiers.
        std::vector<std::uint8_t>& map = current_[keycode];
        map.assign(kHeader + 4, 0);
        map[4] = 1;  // groupInfo: one group, wrapped into range
        map[5] = 1;  // width
        const std::uint16_t one = 1;
        std::memcpy(map.data() + 6, &one, 2);
        const std::uint32_t sym = keysym;
        std::memcpy(map.data() + kHeader, &sym, 4);
        low = std::min<int>(low, keycode);
        high = std::max<int>(high, keycode);
    }
    for (xcb_keycode_t keycode : restore) {
        current_[keycode] = original_[keycode];
        low = std::min<int>(low, keycode);
        high = std::max<int>(high, keycode);
    }
    // The request writes every keycode between the lowest and the highest it
    // changes: those it does not change are written as the server has them
    // now, which another program (another run) may have changed since they
    // were read.
    std::vector<std::vector<std::uint8_t>> now;
    if (high - low > static_cast<int>(bind.size() + restore.size()) - 1 &&
        readCurrent(connection, device, now)) {
        for (int keycode = low; keycode <= high; ++keycode) {
            const auto code = static_cast<xcb_keycode_t>(keycode);
            const bool changed = std::any_of(bind.begin(), bind.end(),
                                             [&](const auto& b) { return b.first == code; }) ||
                                 std::find(restore.begin(), restore.end(), code) != restore.end();
            if (!changed) current_[code] = now[code];
        }
    }
    std::vector<std::uint8_t> values;
    std::size_t totalSyms = 0;
    for (int keycode = low; keycode <= high; ++keycode) {
        const std::vector<std::uint8_t>& map = current_[keycode];
        values.insert(values.end(), map.begin(), map.end());
        totalSyms += symCount(map.data());
    }
    xcb_xkb_set_map(connection, static_cast<xcb_xkb_device_spec_t>(device),
                    XCB_XKB_MAP_PART_KEY_SYMS, 0, minKeycode_, maxKeycode_, 0, 0,
                    static_cast<xcb_keycode_t>(low), static_cast<std::uint8_t>(high - low + 1),
                    static_cast<std::uint16_t>(totalSyms), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                    0, 0, values.data());
}

}  // namespace tarn::x11
