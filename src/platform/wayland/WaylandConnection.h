// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One connection to the Wayland compositor, with the globals the backends
// bind: the seat, the foreign-toplevel manager and the virtual-keyboard
// manager. Every wait on the compositor is bounded, so a compositor that stops
// answering costs a time-out, never a hang. Internal to the Wayland backends.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwlr_foreign_toplevel_manager_v1;
struct zwp_virtual_keyboard_manager_v1;

namespace tarn::wayland {

// Which of the two protocols a compositor offers.
struct Protocols {
    bool toplevels = false;
    bool virtualKeyboard = false;
    bool both() const { return toplevels && virtualKeyboard; }
};

class WaylandConnection {
  public:
    // `display`: a socket name or absolute path as WAYLAND_DISPLAY holds it;
    // nullptr: $WAYLAND_DISPLAY. Null when it cannot connect or the first
    // round trip does not come back in time.
    static std::unique_ptr<WaylandConnection> connect(const char* display = nullptr);
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    const Protocols& protocols() const { return protocols_; }
    wl_display* display() const { return display_; }
    wl_seat* seat() const { return seat_; }
    // The managers, bound on first use; null when the compositor lacks them.
    zwlr_foreign_toplevel_manager_v1* toplevelManager();
    zwp_virtual_keyboard_manager_v1* keyboardManager();

    // Sends what is queued and handles events until the compositor has
    // answered a sync request, at most `timeout`. False on time-out or a lost
    // connection.
    bool roundtrip(std::chrono::milliseconds timeout = kAnswerTimeout);
    // Handles events until `done()` holds (true) or `timeout` has passed or
    // the connection is lost (false).
    template <class Done>
    bool dispatchUntil(Done done, std::chrono::milliseconds timeout) {
        return dispatchUntilImpl([](void* d) { return (*static_cast<Done*>(d))(); }, &done,
                                 timeout);
    }
    bool broken() const;

    // How long the compositor may take to answer one request.
    static constexpr std::chrono::milliseconds kAnswerTimeout{3000};

  private:
    WaylandConnection() = default;
    bool dispatchUntilImpl(bool (*done)(void*), void* state, std::chrono::milliseconds timeout);
    static void onGlobal(void* data, wl_registry* registry, std::uint32_t name,
                         const char* interface, std::uint32_t version);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    Protocols protocols_;
    std::uint32_t toplevelName_ = 0, toplevelVersion_ = 0, keyboardName_ = 0;
    zwlr_foreign_toplevel_manager_v1* toplevelManager_ = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboardManager_ = nullptr;
};

}  // namespace tarn::wayland
