// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which process holds a connection to the display now.
//
// The server learns a client's PID once, from the socket, when the client
// connects. A client that forks and exits leaves its connection to the child
// while the server still names the parent, whose PID the system may by now
// have given to an unrelated program. A PID from the server is therefore
// believed only while that process holds a Unix socket whose other end is one
// of the server's sockets for this display (found through the kernel's socket
// diagnostics and /proc/PID/fd).

#include <sys/types.h>

#include <optional>
#include <string>
#include <unordered_map>

#include "UnixSockets.h"

namespace tarn::x11 {

class DisplayClients {
  public:
    // A snapshot of the system's Unix sockets, seen from the display
    // connection `connectionFd`; nullopt when the kernel does not say (no
    // socket diagnostics) or the connection is no local Unix socket.
    static std::optional<DisplayClients> snapshot(int connectionFd);

    // Whether the process holds a connection to this display now. False also
    // when its descriptors cannot be read (another user's process).
    bool heldBy(pid_t process) const;

  private:
    std::unordered_map<ino_t, posix::UnixSocket> sockets_;
    std::string display_;  // the name of the server's sockets for this display
};

}  // namespace tarn::x11
