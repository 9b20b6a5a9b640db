// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ownership of what XCB hands over with malloc: replies, errors and events.
// Internal to the X11 backends.

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace tarn::x11 {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// A reply, error or event of XCB's, freed with it.
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// A round trip: returns once the server has handled every request sent
// before it.
inline void sync(xcb_connection_t* c) {
    Reply<xcb_get_input_focus_reply_t>(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

}  // namespace tarn::x11
