// SPDX-License-Identifier: GPL-3.0-or-later
#include "SocketBacklog.h"

#include <dirent.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace tarn::posix {
namespace {

// The kernel's TCP_ESTABLISHED, which unix sockets share for a connection.
constexpr int kEstablished = 1;

// The inodes of the sockets process `pid` holds.
std::vector<unsigned> socketsOf(pid_t pid) {
    std::vector<unsigned> inodes;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* fds = ::opendir(folder.c_str());
    if (!fds) return inodes;
    while (const dirent* entry = ::readdir(fds)) {
        char target[64];
        const std::string link = folder + "/" + entry->d_name;
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        unsigned inode = 0;
        if (std::sscanf(target, "socket:[%u]", &inode) == 1) inodes.push_back(inode);
    }
    ::closedir(fds);
    return inodes;
}

bool holds(const std::vector<unsigned>& inodes, unsigned inode) {
    return std::find(inodes.begin(), inodes.end(), inode) != inodes.end();
}

}  // namespace

std::unique_ptr<SocketBacklog> SocketBacklog::open(std::string listening) {
    std::unique_ptr<SocketBacklog> backlog(new SocketBacklog);
    backlog->netlink_ = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (backlog->netlink_ < 0) return nullptr;
    backlog->listening_ = std::move(listening);
    backlog->own_ = socketsOf(::getpid());
    std::vector<Client> clients;
    if (!backlog->dump(clients)) return nullptr;
    return backlog;
}

SocketBacklog::~SocketBacklog() {
    if (netlink_ >= 0) ::close(netlink_);
}

bool SocketBacklog::dump(std::vector<Client>& clients) {
    clients.clear();
    struct {
        nlmsghdr header;
        unix_diag_req request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.request.sdiag_family = AF_UNIX;
    message.request.udiag_states = 1u << kEstablished;
    message.request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_PEER | UDIAG_SHOW_RQLEN;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(netlink_, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) < 0) {
        return false;
    }

    // The server's ends of its connections name the listening path; their
    // peers are the clients' ends, whose receive queues hold what the
    // clients have not read.
    std::vector<unsigned> peersOfServer;
    std::unordered_map<unsigned, std::size_t> unread;
    alignas(nlmsghdr) char buffer[32768];
    for (;;) {
        const ssize_t got = ::recv(netlink_, buffer, sizeof buffer, 0);
        if (got <= 0) return false;
        std::size_t left = static_cast<std::size_t>(got);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, left);
             header = NLMSG_NEXT(header, left)) {
            if (header->nlmsg_type == NLMSG_DONE) {
                for (unsigned peer : peersOfServer) {
                    if (!holds(own_, peer)) clients.push_back({peer, unread[peer]});
                }
                return true;
            }
            if (header->nlmsg_type == NLMSG_ERROR) return false;
            const auto* socket = static_cast<const unix_diag_msg*>(NLMSG_DATA(header));
            int attributesLength =
                static_cast<int>(header->nlmsg_len - NLMSG_LENGTH(sizeof *socket));
            bool ofServer = false;
            unsigned peer = 0;
            for (auto* attribute =
                     reinterpret_cast<rtattr*>(const_cast<unix_diag_msg*>(socket) + 1);
                 RTA_OK(attribute, attributesLength);
                 attribute = RTA_NEXT(attribute, attributesLength)) {
                const void* data = RTA_DATA(attribute);
                const std::size_t size = RTA_PAYLOAD(attribute);
                if (attribute->rta_type == UNIX_DIAG_NAME) {
                    // The path as bound, with its terminating NUL.
                    std::size_t length = size;
                    while (length && static_cast<const char*>(data)[length - 1] == '\0')
                        --length;
                    ofServer = length == listening_.size() &&
                               std::memcmp(data, listening_.data(), length) == 0;
                } else if (attribute->rta_type == UNIX_DIAG_PEER && size >= sizeof peer) {
                    std::memcpy(&peer, data, sizeof peer);
                } else if (attribute->rta_type == UNIX_DIAG_RQLEN &&
                           size >= sizeof(unix_diag_rqlen)) {
                    unix_diag_rqlen queues{};
                    std::memcpy(&queues, data, sizeof queues);
                    unread[socket->udiag_ino] = queues.udiag_rqueue;
                }
            }
            if (ofServer && peer) peersOfServer.push_back(peer);
        }
    }
}

void SocketBacklog::follow(pid_t pid) {
    followed_.clear();
    own_ = socketsOf(::getpid());
    if (pid <= 0) return;
    std::vector<Client> clients;
    if (!dump(clients)) return;
    for (unsigned inode : socketsOf(pid)) {
        if (std::any_of(clients.begin(), clients.end(),
                        [&](const Client& c) { return c.inode == inode; })) {
            followed_.push_back(inode);
        }
    }
}

std::optional<std::size_t> SocketBacklog::largest() {
    std::vector<Client> clients;
    if (!dump(clients)) return std::nullopt;
    std::size_t most = 0;
    for (const Client& client : clients) {
        if (followed_.empty() || holds(followed_, client.inode)) {
            most = std::max(most, client.unread);
        }
    }
    return most;
}

}  // namespace tarn::posix
