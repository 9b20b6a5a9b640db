// SPDX-License-Identifier: GPL-3.0-or-later
#include "BoundedDispatch.h"

#include <poll.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdint>

namespace tarn::wayland {

bool roundtrip(wl_display* display, std::chrono::milliseconds timeout) {
    bool answered = false;
    static const wl_callback_listener listener = {
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback* callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &listener, &answered);
    const bool ok = dispatchUntil(
        display, [&] { return answered; }, timeout);
    wl_callback_destroy(callback);
    return ok;
}

bool dispatchUntil(wl_display* display, const std::function<bool()>& done,
                   std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        if (wl_display_dispatch_pending(display) < 0) return false;
        if (done()) return true;
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0) return false;
        }
        if (done()) {
            wl_display_cancel_read(display);
            return true;
        }
        pollfd fd{wl_display_get_fd(display), POLLIN, 0};
        if (wl_display_flush(display) < 0 && errno == EAGAIN) fd.events |= POLLOUT;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            wl_display_cancel_read(display);
            return done();
        }
        const int ready = ::poll(&fd, 1, static_cast<int>(left.count()) + 1);
        if (ready > 0 && (fd.revents & (POLLIN | POLLERR | POLLHUP))) {
            if (wl_display_read_events(display) < 0) return false;
        } else {
            wl_display_cancel_read(display);
            if (ready < 0 && errno != EINTR) return false;
        }
    }
}

}  // namespace tarn::wayland
