// SPDX-License-Identifier: GPL-3.0-or-later
#include "SocketBacklog.h"

#include <unistd.h>

#include <algorithm>

#include "UnixSockets.h"

namespace tarn::posix {
namespace {

// The kernel's TCP_ESTABLISHED, which Unix sockets share for a connection.
constexpr unsigned kConnected = 1u << 1;

bool holds(const std::vector<ino_t>& inodes, ino_t inode) {
    return std::find(inodes.begin(), inodes.end(), inode) != inodes.end();
}

}  // namespace

std::unique_ptr<SocketBacklog> SocketBacklog::open(std::string listening) {
    return open(std::vector<std::string>{std::move(listening)});
}

std::unique_ptr<SocketBacklog> SocketBacklog::open(std::vector<std::string> listening) {
    std::unique_ptr<SocketBacklog> backlog(new SocketBacklog);
    backlog->listening_ = std::move(listening);
    backlog->own_ = socketsOf(::getpid());
    std::vector<Client> clients;
    if (!backlog->dump(clients)) return nullptr;
    return backlog;
}

bool SocketBacklog::dump(std::vector<Client>& clients) {
    clients.clear();
    const auto sockets = unixSockets(kConnected);
    if (!sockets) return false;
    // The server's ends of its connections carry the listening path; their
    // peers are the clients' ends, whose receive queues hold what the
    // clients have not read.
    for (const auto& [inode, socket] : *sockets) {
        if (!socket.peer || holds(own_, socket.peer) ||
            std::find(listening_.begin(), listening_.end(), socket.name) == listening_.end()) {
            continue;
        }
        const auto client = sockets->find(socket.peer);
        clients.push_back({socket.peer, client == sockets->end() ? 0 : client->second.unread});
    }
    return true;
}

void SocketBacklog::refreshOwn() {
    own_ = socketsOf(::getpid());
}

void SocketBacklog::settle() {
    settled_.clear();
    settling_ = true;
}

std::optional<std::size_t> SocketBacklog::largest() {
    std::vector<Client> clients;
    if (!dump(clients)) return std::nullopt;
    if (settling_) {
        settling_ = false;
        for (const Client& client : clients)
            if (client.unread) settled_[client.inode] = client.unread;
    }
    std::size_t most = 0;
    for (const Client& client : clients) {
        const auto settled = settled_.find(client.inode);
        if (settled != settled_.end()) {
            if (client.unread <= settled->second) {
                settled->second = client.unread;
                continue;
            }
            settled_.erase(settled);
        }
        most = std::max(most, client.unread);
    }
    return most;
}

}  // namespace tarn::posix
