// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether an X program has handled every event the server sent it so far,
// seen from outside through the kernel: most programs answer no message that
// would say so (xterm takes no _NET_WM_PING). It matters before a keycode
// changes meaning: Xlib takes a new keyboard map in as soon as it reads the
// notification, ahead of the key events it read before and has not handled,
// which would then be looked up in the new map.
//
// An Xlib program waits for input (asleep in poll or select) only once it has
// handled every event it read. Seen waiting, with nothing unread on its
// connection either way, it may still wait for the answer to a request of its
// own: so it must wait on, never woken, across two round trips of this
// program's. The server reads the second only once it has written what it
// answered along with the first, that answer among it.
//
// For X11 desktops and for X11 programs under XWayland alike.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct xcb_connection_t xcb_connection_t;

namespace tarn::x11 {

class XProgramIdle {
  public:
    // Watches the programs of the display that `c` is connected to; `c`
    // stays the caller's, and is used for round trips. Null when the kernel
    // does not tell which process serves the display (not a local one) or
    // which sockets it listens on.
    static std::unique_ptr<XProgramIdle> open(xcb_connection_t* c);
    XProgramIdle(const XProgramIdle&) = delete;
    XProgramIdle& operator=(const XProgramIdle&) = delete;

    // The process of the client that made `window`; 0 when the server does
    // not tell (no X-Resource extension), or the window is the server's own.
    pid_t processOf(std::uint32_t window);

    // Returns true once program `pid` is seen to have handled every event
    // sent to it before the call; false when it was not seen waiting within
    // `busy` (it never waits for input: it animates, or works on), or the
    // connection broke.
    bool waitUntilHandled(pid_t pid, std::chrono::milliseconds busy);

    // The server's process, the names of the sockets it listens on, and its
    // connections that no client made (under XWayland, the one to the
    // compositor among them).
    pid_t server() const { return server_; }
    const std::vector<std::string>& listening() const { return listening_; }
    const std::vector<ino_t>& serverSockets() const { return serverSockets_; }

  private:
    // A moment of a program: whether it waited for input with nothing to
    // read, and how often it had been switched out before.
    struct Moment {
        bool waiting = false;
        unsigned long long waits = 0;
    };

    explicit XProgramIdle(xcb_connection_t* c) : c_(c) {}
    bool roundTrip();
    Moment momentOf(pid_t pid);

    xcb_connection_t* c_;
    pid_t server_ = 0;
    std::vector<std::string> listening_;
    std::vector<ino_t> serverSockets_;
    bool clientIds_ = false;  // the server tells its clients' processes
};

}  // namespace tarn::x11
