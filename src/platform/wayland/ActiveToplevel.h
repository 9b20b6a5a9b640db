// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which window has the focus, as the foreign-toplevel protocol announces it,
// kept up to date from events alone: the keyboard asks it between batches of
// keys whether the window typing began with still has the focus, without a
// round trip. Internal to the Wayland backends.

#include <cstdint>
#include <map>
#include <memory>

struct zwlr_foreign_toplevel_handle_v1;
struct zwlr_foreign_toplevel_manager_v1;

namespace tarn::wayland {

class WaylandConnection;

class ActiveToplevel {
  public:
    // Null when the compositor offers no foreign toplevels.
    static std::unique_ptr<ActiveToplevel> start(WaylandConnection& connection);
    ~ActiveToplevel();
    ActiveToplevel(const ActiveToplevel&) = delete;
    ActiveToplevel& operator=(const ActiveToplevel&) = delete;

    // The window that has the focus, as announced so far; 0 when none.
    std::uint64_t active() const;
    // Handles what the compositor has sent, without waiting. False when the
    // connection is lost.
    bool update();

  private:
    struct Toplevel {
        ActiveToplevel* owner = nullptr;
        zwlr_foreign_toplevel_handle_v1* handle = nullptr;
        std::uint64_t id = 0;
        bool activated = false;
        bool pending = false;  // the state announced, applied at "done"
    };
    explicit ActiveToplevel(WaylandConnection& connection) : connection_(connection) {}
    void added(zwlr_foreign_toplevel_handle_v1* handle);
    void closed(std::uint64_t id);

    WaylandConnection& connection_;
    zwlr_foreign_toplevel_manager_v1* manager_ = nullptr;
    std::map<std::uint64_t, Toplevel> toplevels_;
    std::uint64_t lastId_ = 0;
};

}  // namespace tarn::wayland
