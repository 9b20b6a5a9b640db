// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Top-level windows of the desktop: what the interpreter's window search,
// focus, close and process mapping need, and nothing more.

#include <string>
#include <vector>

#include "Types.h"

namespace tarn {

struct TopLevelWindow {
    WindowId id = 0;
    std::string title;     // UTF-8, as the window gives it (not yet cut)
    bool visible = false;  // shown or minimised; false when withdrawn or unmapped
};

class WindowSystem {
  public:
    virtual ~WindowSystem() = default;

    // Every top-level window in stacking order, topmost first, with its title and
    // visibility. One call is one consistent snapshot, so that a backend can ask
    // for all windows' properties at once instead of one round trip per window.
    virtual std::vector<TopLevelWindow> topLevelWindows() = 0;

    virtual bool isWindow(WindowId window) = 0;
    virtual bool isIconic(WindowId window) = 0;
    // Restores a minimised window.
    virtual void restore(WindowId window) = 0;
    // Brings the window to the foreground with the keyboard focus. Returns once
    // the window is active, or after a bounded wait; false when it did not
    // become active in that time.
    virtual bool setForeground(WindowId window) = 0;
    // Asks the window to close, without waiting for it to do so.
    virtual void postClose(WindowId window) = 0;
    // The process that owns the window, 0 when unknown or no such window.
    virtual ProcessId processOf(WindowId window) = 0;
    // The display's own server (the X server, the compositor), which owns no
    // window a macro may end it by; 0 when unknown.
    virtual ProcessId serverProcess() { return 0; }
    // Brings the topmost window of the process to the foreground (restoring it
    // when minimised). Throws Failure 5 "Invalid procedure call or argument"
    // when the process has no window or it could not be brought forward.
    virtual void activateProcess(ProcessId process) = 0;
    // Whether the connection to the desktop is lost, so that a host can say
    // so instead of reporting what failed because of it.
    virtual bool displayClosed() { return false; }
};

}  // namespace tarn
