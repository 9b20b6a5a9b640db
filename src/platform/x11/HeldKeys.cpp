// SPDX-License-Identifier: GPL-3.0-or-later
#include "HeldKeys.h"

#include <xcb/xcb.h>
// xkb.h names a member "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <cstdint>

#include "XcbReply.h"

namespace tarn::x11 {

bool reportHeldKeysAsPresses(void* connection, bool on) {
    auto* c = static_cast<xcb_connection_t*>(connection);
    if (!c || xcb_connection_has_error(c)) return false;
    // XKB requests want the extension taken up on their connection; a second
    // time does no harm.
    const Reply<xcb_xkb_use_extension_reply_t> use{xcb_xkb_use_extension_reply(
        c, xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr)};
    if (!use || !use->supported) return false;
    const std::uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    const Reply<xcb_xkb_per_client_flags_reply_t> flags{xcb_xkb_per_client_flags_reply(
        c, xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, flag, on ? flag : 0, 0, 0, 0),
        nullptr)};
    return flags && (flags->supported & flag) && (flags->value & flag);
}

}  // namespace tarn::x11
