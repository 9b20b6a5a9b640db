// SPDX-License-Identifier: GPL-3.0-or-later
#include "DisplayWatch.h"

#include <poll.h>
#include <wayland-client.h>
#include <xcb/xcb.h>

#include <functional>

namespace tarn {

struct DisplayWatch::Connection {
    int descriptor = -1;
    std::function<void()> close;
    ~Connection() {
        if (close) close();
    }
};

DisplayWatch::DisplayWatch(std::unique_ptr<Connection> poConnection)
    : mConnection(std::move(poConnection)) {}

DisplayWatch::~DisplayWatch() = default;

std::unique_ptr<DisplayWatch> DisplayWatch::x11(const char* psvName) {
    xcb_connection_t* c = xcb_connect(psvName, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    auto connection = std::make_unique<Connection>();
    connection->descriptor = xcb_get_file_descriptor(c);
    connection->close = [c] { xcb_disconnect(c); };
    return std::unique_ptr<DisplayWatch>(new DisplayWatch(std::move(connection)));
}

std::unique_ptr<DisplayWatch> DisplayWatch::wayland() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return nullptr;
    auto connection = std::make_unique<Connection>();
    connection->descriptor = wl_display_get_fd(display);
    connection->close = [display] { wl_display_disconnect(display); };
    return std::unique_ptr<DisplayWatch>(new DisplayWatch(std::move(connection)));
}

bool DisplayWatch::gone() const {
    // Asking for the hang-up alone: data that arrives does not wake poll, and
    // is not consumed.
    pollfd watched{mConnection->descriptor, POLLRDHUP, 0};
    return ::poll(&watched, 1, 0) == 1 && (watched.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

}  // namespace tarn
