// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What stands between a key of the virtual keyboard and an X11 program under
// XWayland: the compositor hands the key to Xwayland, a Wayland client of its
// own (on a socket pair, not through the compositor's listening socket);
// Xwayland turns it into an X event for the program, which reads it from its
// X connection. An X program looks its keys up in a copy of the keyboard map
// that Xlib refreshes as soon as it reads the notification of a change, ahead
// of the key events before it that the program has not handled yet. So before
// a keycode changes meaning, Xwayland must have handled every key typed
// through it, and the X program that has the focus must have handled them
// (read is not enough: Xlib reads ahead whenever the program makes a round
// trip of its own, as a terminal does while it draws): this waits for that.
// Internal to the Wayland keystroke backend.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct xcb_connection_t xcb_connection_t;

namespace tarn::posix {
class SocketBacklog;
}
namespace tarn::x11 {
class XProgramIdle;
}

namespace tarn::wayland {

class XWaylandQueues {
  public:
    // Connects to the X display `display` (nullptr: $DISPLAY). Null when there
    // is none, no X client is connected to it yet (*unused set then), or the
    // kernel does not tell which process serves it and how much its
    // connections hold.
    static std::unique_ptr<XWaylandQueues> open(const char* display, bool* unused = nullptr);
    ~XWaylandQueues();
    XWaylandQueues(const XWaylandQueues&) = delete;
    XWaylandQueues& operator=(const XWaylandQueues&) = delete;

    enum class Drained { Yes, Stalled, Lost };
    // Call once the compositor has handled the keys sent so far (a round
    // trip): returns once Xwayland has read and handled everything the
    // compositor sent it, and the X program with the focus has handled every
    // event that came of it (with no X program focused: every X program has
    // read them). Stalled when Xwayland or that program reads nothing for
    // `stalled`; Lost when the X display is gone. A program that never
    // waits for events (it animates) is given `busy` at most.
    Drained drain(std::chrono::milliseconds stalled, std::chrono::milliseconds busy);

    // Whether an X program has the X input focus, and so gets the keys: a
    // window other than a root has it. Nothing when the X display is gone.
    // One round trip where one has it; where none has, once Xwayland has
    // read what the compositor sent it, a second.
    std::optional<bool> programFocused();

    // What Xwayland has left unread on its connections, the compositor's
    // among them; nothing when the kernel does not say. Xwayland that falls
    // behind the compositor's keys misreads them (it repeats a key whose
    // release it has not handled yet), so a long Send goes no faster.
    std::optional<std::size_t> serverUnread();

  private:
    XWaylandQueues() = default;
    // A round trip to the X server; the window with the focus then.
    std::optional<std::uint32_t> xRoundTrip();
    // Whether Xwayland has read everything on its connections to the
    // compositor (the window manager's among them): false when what it has
    // left has not dropped for `stalled`.
    bool serverRead(std::chrono::milliseconds stalled);

    xcb_connection_t* c_ = nullptr;
    // The X server's process, its sockets, and its focused program.
    std::unique_ptr<x11::XProgramIdle> idle_;
    // What the X clients have left unread.
    std::unique_ptr<posix::SocketBacklog> clients_;
};

}  // namespace tarn::wayland
