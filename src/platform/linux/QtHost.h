// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The interpreter's host inside the Qt program: the monotonic clock and the
// yield to pending user-interface events. The interpreter runs on the GUI
// thread, so every wait of a macro is spent here, inside the event loop: the
// window, Stop and the tray menu stay alive while the process sleeps.

#include "Host.h"

namespace tarn {

class QtHost : public Host {
  public:
    Clock::time_point now() override { return Clock::now(); }
    // Handles the user-interface events that are pending and returns.
    void yield() override;
    // Handles pending events; when none were pending, sleeps on the event loop
    // until an event arrives (a click on Stop, a timer) or atMost has passed.
    void idle(std::chrono::milliseconds atMost) override;
};

}  // namespace tarn
