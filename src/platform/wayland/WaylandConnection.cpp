// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaylandConnection.h"

#include "BoundedDispatch.h"

#include <poll.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstring>

#include "virtual-keyboard-unstable-v1-client.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client.h"

namespace tarn::wayland {

namespace {

void ignoreGlobalRemove(void*, wl_registry*, std::uint32_t) {}

}  // namespace

void WaylandConnection::onGlobal(void* data, wl_registry* registry, std::uint32_t name,
                                 const char* interface, std::uint32_t version) {
    auto* self = static_cast<WaylandConnection*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat_) {
        // The first seat is the one the user types on; a desktop with several
        // has no better choice to offer a client.
        self->seat_ =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0) {
        self->protocols_.toplevels = true;
        self->toplevelName_ = name;
        self->toplevelVersion_ = version < 2 ? version : 2;
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
        self->protocols_.virtualKeyboard = true;
        self->keyboardName_ = name;
    }
}

std::unique_ptr<WaylandConnection> WaylandConnection::connect(const char* display) {
    std::unique_ptr<WaylandConnection> c(new WaylandConnection);
    c->display_ = wl_display_connect(display);
    if (!c->display_) return nullptr;
    static const wl_registry_listener listener = {&WaylandConnection::onGlobal, ignoreGlobalRemove};
    c->registry_ = wl_display_get_registry(c->display_);
    wl_registry_add_listener(c->registry_, &listener, c.get());
    if (!c->roundtrip()) return nullptr;
    return c;
}

WaylandConnection::~WaylandConnection() {
    if (toplevelManager_) zwlr_foreign_toplevel_manager_v1_destroy(toplevelManager_);
    if (keyboardManager_) zwp_virtual_keyboard_manager_v1_destroy(keyboardManager_);
    if (seat_) wl_seat_destroy(seat_);
    if (registry_) wl_registry_destroy(registry_);
    if (display_) {
        wl_display_flush(display_);
        wl_display_disconnect(display_);
    }
}

zwlr_foreign_toplevel_manager_v1* WaylandConnection::toplevelManager() {
    if (!toplevelManager_ && toplevelName_) {
        toplevelManager_ = static_cast<zwlr_foreign_toplevel_manager_v1*>(
            wl_registry_bind(registry_, toplevelName_, &zwlr_foreign_toplevel_manager_v1_interface,
                             toplevelVersion_));
    }
    return toplevelManager_;
}

zwp_virtual_keyboard_manager_v1* WaylandConnection::keyboardManager() {
    if (!keyboardManager_ && keyboardName_) {
        keyboardManager_ = static_cast<zwp_virtual_keyboard_manager_v1*>(wl_registry_bind(
            registry_, keyboardName_, &zwp_virtual_keyboard_manager_v1_interface, 1));
    }
    return keyboardManager_;
}

bool WaylandConnection::broken() const {
    return wl_display_get_error(display_) != 0;
}

bool WaylandConnection::roundtrip(std::chrono::milliseconds timeout) {
    return wayland::roundtrip(display_, timeout);
}

bool WaylandConnection::dispatchUntilImpl(bool (*done)(void*), void* state,
                                          std::chrono::milliseconds timeout) {
    return wayland::dispatchUntil(
        display_, [&] { return done(state); }, timeout);
}

}  // namespace tarn::wayland
