// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window system on an X11 desktop, over a connection of its own (never
// Qt's, so that nothing here waits behind or disturbs the program's own
// windows). It follows the EWMH conventions when a window manager announces
// itself, and the ICCCM alone when none runs:
//
// - topLevelWindows(): the managed windows from _NET_CLIENT_LIST_STACKING,
//   topmost first, then the withdrawn (hidden) top-level windows that carry a
//   title or WM_STATE. Without an EWMH window manager: the root's children,
//   topmost first, that carry WM_STATE or a title. The properties of every
//   window are requested before the first reply is read, so one search costs a
//   handful of round trips whatever the number of windows.
// - setForeground(): _NET_ACTIVE_WINDOW (after switching to the window's
//   desktop), or map, raise and focus without a window manager; it returns once
//   the window manager reports the window active and the keyboard focus is in
//   it, so that keystrokes sent next land there.
// - processOf(): the PID of the window's client as the server knows it from
//   the client's socket (X-Resource client IDs), while that process still
//   holds a connection to the display (XcbWindowSystemClients.h); 0 when the
//   server cannot say (a client connected over TCP, a server without
//   X-Resource), for the server's own windows (the root) and for a client
//   that has gone (forked and left its window to a child). _NET_WM_PID is
//   never believed: any client can write it on any window.
// - postClose(): _NET_CLOSE_WINDOW to the window manager, what a click on the
//   window's close button does; without a window manager, WM_DELETE_WINDOW.
//
// A window can vanish between any two requests: every reply is checked for its
// error, and errors of requests without replies are read off the connection
// and dropped. A window that is gone is simply no longer there; nothing here
// throws except activateProcess() as WindowSystem says.

#include <chrono>
#include <memory>
#include <vector>

#include "Host.h"
#include "WindowSystem.h"

namespace tarn::x11 {

class XcbWindowSystem : public WindowSystem {
  public:
    // Opens its own connection to `display` (nullptr: $DISPLAY); nullptr when
    // the display cannot be opened. `host` is idled while setForeground() waits.
    static std::unique_ptr<XcbWindowSystem> connect(Host& host, const char* display = nullptr);
    ~XcbWindowSystem() override;
    XcbWindowSystem(const XcbWindowSystem&) = delete;
    XcbWindowSystem& operator=(const XcbWindowSystem&) = delete;

    std::vector<TopLevelWindow> topLevelWindows() override;
    bool isWindow(WindowId window) override;
    bool isIconic(WindowId window) override;
    void restore(WindowId window) override;
    bool setForeground(WindowId window) override;
    void postClose(WindowId window) override;
    ProcessId processOf(WindowId window) override;
    void activateProcess(ProcessId process) override;
    // The X server's PID, from the peer of the connection's socket.
    ProcessId serverProcess() override;

    // The windows given, topmost first, with their titles and visibility, in one
    // pipelined pass; those that no longer exist are left out. This is the
    // second half of topLevelWindows(), open so that the race with a window
    // that vanishes after the stacking list was read can be tested.
    std::vector<TopLevelWindow> describe(const std::vector<WindowId>& windows);

    // Whether the connection to the display is lost (a round trip to find
    // out, when nothing has shown it yet).
    bool displayClosed() override;

    // How long setForeground() waits at most for the activation to show.
    static constexpr std::chrono::milliseconds kActivationTimeout{2000};

    // The connection and everything that speaks XCB; XCB's headers stay in
    // the .cpp so that the program that creates this class does not see them.
    class Connection;

  private:
    explicit XcbWindowSystem(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> x_;
};

}  // namespace tarn::x11
