// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How much a server's clients have left unread: the bytes waiting in the
// receive queue of each client socket connected to a listening Unix socket,
// as the kernel reports them (sock_diag). A Wayland compositor drops a client
// whose queue overflows, so a keyboard that types faster than the focused
// program reads would end that program; this lets it wait until the program
// has caught up.

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tarn::posix {

class SocketBacklog {
  public:
    // `listening`: the server's socket path. This program's own connections
    // are not counted: it reads them when it gets to them. Null when the
    // kernel does not report Unix sockets.
    static std::unique_ptr<SocketBacklog> open(std::string listening);
    // The same for a server that listens on several sockets (an X server on
    // a path and on an abstract name).
    static std::unique_ptr<SocketBacklog> open(std::vector<std::string> listening);
    ~SocketBacklog() = default;
    SocketBacklog(const SocketBacklog&) = delete;
    SocketBacklog& operator=(const SocketBacklog&) = delete;

    // Takes this program's connections anew (it may have made more since).
    void refreshOwn();
    // Leaves out of largest() the clients that have something unread at its
    // next call, for as long as they are sent nothing more: a program that
    // stopped reading earlier (a hung bystander) holds up nobody. A client
    // whose unread bytes grow past what it had left counts whole again, so a
    // slow target does not fall a little further behind at every Send.
    void settle();
    // The largest number of bytes another client has not read yet; nothing
    // when the kernel did not answer.
    std::optional<std::size_t> largest();

  private:
    struct Client {
        ino_t inode = 0;
        std::size_t unread = 0;
    };
    SocketBacklog() = default;
    // Every client socket of the server but this program's, with its unread
    // bytes.
    bool dump(std::vector<Client>& clients);

    std::vector<std::string> listening_;
    std::vector<ino_t> own_;
    // The clients settle() left out, with the least they have had unread
    // since.
    std::unordered_map<ino_t, std::size_t> settled_;
    bool settling_ = false;
};

}  // namespace tarn::posix
