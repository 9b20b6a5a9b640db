// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Unix sockets of the system as the kernel reports them (sock_diag), and
// those a process holds: what tells which program is at the other end of a
// display's or a compositor's connection, and how much it has left unread.

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tarn::posix {

struct UnixSocket {
    // The bound address, its terminating NULs taken off (an abstract one
    // keeps its leading NUL); accepted sockets carry their listener's.
    std::string name;
    ino_t peer = 0;          // the socket at the other end; 0 for none
    std::size_t unread = 0;  // bytes in its receive queue
};

// Every Unix socket by inode, or nothing when the kernel does not say (no
// socket diagnostics). `states`: the TCP-like states to ask for as a mask
// (1 << 1 for connected ones); ~0 for all.
std::optional<std::unordered_map<ino_t, UnixSocket>> unixSockets(unsigned states = ~0u);

// The inodes of the sockets process `pid` holds; empty when its descriptors
// cannot be read (it has gone, or is another user's).
std::vector<ino_t> socketsOf(pid_t pid);

// The process at the other end of a Unix socket (SO_PEERCRED): the one that
// connected, or listened; 0 when unknown.
pid_t peerProcess(int socketFd);

}  // namespace tarn::posix
