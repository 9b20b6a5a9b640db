// SPDX-License-Identifier: GPL-3.0-or-later
#include "ActiveToplevel.h"

#include <poll.h>
#include <wayland-client.h>

#include "WaylandConnection.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client.h"

namespace tarn::wayland {

std::unique_ptr<ActiveToplevel> ActiveToplevel::start(WaylandConnection& connection) {
    std::unique_ptr<ActiveToplevel> tracker(new ActiveToplevel(connection));
    tracker->manager_ = connection.toplevelManager();
    if (!tracker->manager_) return nullptr;
    static const zwlr_foreign_toplevel_manager_v1_listener listener = {
        [](void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle) {
            static_cast<ActiveToplevel*>(data)->added(handle);
        },
        [](void* data, zwlr_foreign_toplevel_manager_v1*) {
            static_cast<ActiveToplevel*>(data)->manager_ = nullptr;
        },
    };
    zwlr_foreign_toplevel_manager_v1_add_listener(tracker->manager_, &listener, tracker.get());
    // The windows there are now are announced in reply to the binding.
    if (!connection.roundtrip()) return nullptr;
    return tracker;
}

ActiveToplevel::~ActiveToplevel() {
    for (auto& [id, toplevel] : toplevels_)
        zwlr_foreign_toplevel_handle_v1_destroy(toplevel.handle);
    if (manager_) zwlr_foreign_toplevel_manager_v1_stop(manager_);
}

std::uint64_t ActiveToplevel::active() const {
    for (const auto& [id, toplevel] : toplevels_) {
        if (toplevel.activated) return id;
    }
    return 0;
}

bool ActiveToplevel::update() {
    wl_display* display = connection_.display();
    while (wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0) return false;
    }
    wl_display_flush(display);
    pollfd fd{wl_display_get_fd(display), POLLIN, 0};
    if (::poll(&fd, 1, 0) > 0) {
        if (wl_display_read_events(display) < 0) return false;
    } else {
        wl_display_cancel_read(display);
    }
    return wl_display_dispatch_pending(display) >= 0;
}

void ActiveToplevel::added(zwlr_foreign_toplevel_handle_v1* handle) {
    const std::uint64_t id = ++lastId_;
    Toplevel& toplevel = toplevels_[id];
    toplevel.owner = this;
    toplevel.handle = handle;
    toplevel.id = id;
    static const zwlr_foreign_toplevel_handle_v1_listener listener = {
        [](void*, zwlr_foreign_toplevel_handle_v1*, const char*) {},
        [](void*, zwlr_foreign_toplevel_handle_v1*, const char*) {},
        [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
        [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
        [](void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
            auto* t = static_cast<Toplevel*>(data);
            t->pending = false;
            const auto* state = static_cast<const std::uint32_t*>(states->data);
            for (std::size_t i = 0; i < states->size / sizeof *state; ++i) {
                if (state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED) t->pending = true;
            }
        },
        [](void* data, zwlr_foreign_toplevel_handle_v1*) {
            auto* t = static_cast<Toplevel*>(data);
            t->activated = t->pending;
        },
        [](void* data, zwlr_foreign_toplevel_handle_v1*) {
            auto* t = static_cast<Toplevel*>(data);
            t->owner->closed(t->id);
        },
    };
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &listener, &toplevel);
}

void ActiveToplevel::closed(std::uint64_t id) {
    auto found = toplevels_.find(id);
    if (found == toplevels_.end()) return;
    zwlr_foreign_toplevel_handle_v1_destroy(found->second.handle);
    toplevels_.erase(found);
}

}  // namespace tarn::wayland
