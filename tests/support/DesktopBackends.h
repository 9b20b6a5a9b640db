// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window system and keyboard backends that Tarn would choose on a test
// session's desktop: XCB and XTEST on X11, foreign toplevels and a virtual
// keyboard on sway, KWin scripts and fake input on KWin, Tarn's Shell
// extension and mutter's remote desktop on GNOME Shell (the test's process is
// given the session's bus for that). Tests that hold for every desktop take
// them from here.

#include <chrono>
#include <memory>
#include <string>

#include "Host.h"
#include "Keyboard.h"
#include "TargetProgram.h"
#include "WindowSystem.h"
#include "XSession.h"

namespace tarn::testing {

struct DesktopBackends {
    std::unique_ptr<WindowSystem> windows;
    std::unique_ptr<Keyboard> keyboard;
};

// Both null when the session's desktop cannot be reached.
DesktopBackends connectBackends(XSession& session, Host& host);

// Has the target show a new window and returns the ID the window system gives
// it once the desktop shows it (the window manager, if any, has taken it in):
// its X window on X11; on Wayland, where a client cannot learn it, the window
// listed anew with that title, so that twins are told apart. The window is
// in front, as a new window is on every desktop but GNOME Shell, where it is
// brought forward.
WindowId showWindow(XSession& session, WindowSystem& windows, TargetProgram& target,
                    const std::string& name, const std::string& title);

// Minimises the window as a taskbar does (xdotool on X11, a KWin script on
// KWin); false when the desktop did not take the request.
bool minimize(XSession& session, WindowSystem& windows, WindowId id);

// Waits (bounded) until the window system lists the window as visible.
bool waitShown(WindowSystem& windows, WindowId id);
// The newest window listed as visible with exactly this title, newer than
// `after` (window IDs grow with each new window on Wayland); 0 when none is
// within `limit`.
WindowId waitForTitle(WindowSystem& windows, const std::string& title, WindowId after = 0,
                      std::chrono::milliseconds limit = std::chrono::seconds(15));

}  // namespace tarn::testing
