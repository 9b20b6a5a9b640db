// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Waiting on a Wayland connection, always bounded, so that a compositor that
// stops answering costs a time-out, never a hang. Shared by every backend
// that holds a connection of its own.

#include <chrono>
#include <functional>

struct wl_display;

namespace tarn::wayland {

// Handles events until `done()` holds (true) or `timeout` has passed or the
// connection is lost (false).
bool dispatchUntil(wl_display* display, const std::function<bool()>& done,
                   std::chrono::milliseconds timeout);
// Sends what is queued and handles events until the compositor has answered
// a sync request, at most `timeout`. False on time-out or a lost connection.
bool roundtrip(wl_display* display, std::chrono::milliseconds timeout);

}  // namespace tarn::wayland
