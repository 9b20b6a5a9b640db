// SPDX-License-Identifier: GPL-3.0-or-later
#include "XcbWindowSystemClients.h"

#include <sys/stat.h>

#include "UnixSockets.h"

namespace tarn::x11 {

namespace {

// An abstract address starts with a NUL; the same display listens on an
// abstract and a path socket of the same name, and a client may use either.
std::string displayName(std::string name) {
    if (!name.empty() && name.front() == '\0') name.erase(0, 1);
    return name;
}

}  // namespace

std::optional<DisplayClients> DisplayClients::snapshot(int connectionFd) {
    struct stat own {};
    if (::fstat(connectionFd, &own) != 0 || !S_ISSOCK(own.st_mode)) return std::nullopt;
    auto sockets = posix::unixSockets();
    if (!sockets) return std::nullopt;
    DisplayClients clients;
    clients.sockets_ = std::move(*sockets);
    const auto ownSocket = clients.sockets_.find(own.st_ino);
    if (ownSocket == clients.sockets_.end()) return std::nullopt;
    const auto serverSide = clients.sockets_.find(ownSocket->second.peer);
    if (serverSide == clients.sockets_.end()) return std::nullopt;
    clients.display_ = displayName(serverSide->second.name);
    if (clients.display_.empty()) return std::nullopt;
    return clients;
}

bool DisplayClients::heldBy(pid_t process) const {
    if (process <= 0) return false;
    for (ino_t inode : posix::socketsOf(process)) {
        const auto socket = sockets_.find(inode);
        if (socket == sockets_.end()) continue;
        const auto peer = sockets_.find(socket->second.peer);
        if (peer != sockets_.end() && displayName(peer->second.name) == display_) return true;
    }
    return false;
}

}  // namespace tarn::x11
