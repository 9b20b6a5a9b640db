// SPDX-License-Identifier: GPL-3.0-or-later
#include "UnixSockets.h"

#include <dirent.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace tarn::posix {

std::optional<std::unordered_map<ino_t, UnixSocket>> unixSockets(unsigned states) {
    const int diag = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (diag < 0) return std::nullopt;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{diag};
    struct {
        nlmsghdr header;
        unix_diag_req request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.request.sdiag_family = AF_UNIX;
    message.request.udiag_states = states;
    message.request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_PEER | UDIAG_SHOW_RQLEN;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(diag, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) < 0) {
        return std::nullopt;
    }

    std::unordered_map<ino_t, UnixSocket> sockets;
    alignas(nlmsghdr) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::recv(diag, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        auto length = static_cast<unsigned>(got);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, length);
             header = NLMSG_NEXT(header, length)) {
            if (header->nlmsg_type == NLMSG_DONE) return sockets;
            if (header->nlmsg_type == NLMSG_ERROR) return std::nullopt;
            const auto* entry = static_cast<const unix_diag_msg*>(NLMSG_DATA(header));
            UnixSocket& socket = sockets[entry->udiag_ino];
            int attributesLength =
                static_cast<int>(header->nlmsg_len - NLMSG_LENGTH(sizeof *entry));
            for (auto* attribute = reinterpret_cast<rtattr*>(const_cast<unix_diag_msg*>(entry) + 1);
                 RTA_OK(attribute, attributesLength);
                 attribute = RTA_NEXT(attribute, attributesLength)) {
                const char* data = static_cast<const char*>(RTA_DATA(attribute));
                const std::size_t size = RTA_PAYLOAD(attribute);
                if (attribute->rta_type == UNIX_DIAG_NAME) {
                    socket.name.assign(data, size);
                    while (!socket.name.empty() && socket.name.back() == '\0')
                        socket.name.pop_back();
                } else if (attribute->rta_type == UNIX_DIAG_PEER && size >= sizeof(std::uint32_t)) {
                    std::uint32_t peer = 0;
                    std::memcpy(&peer, data, sizeof peer);
                    socket.peer = peer;
                } else if (attribute->rta_type == UNIX_DIAG_RQLEN &&
                           size >= sizeof(unix_diag_rqlen)) {
                    unix_diag_rqlen queues{};
                    std::memcpy(&queues, data, sizeof queues);
                    socket.unread = queues.udiag_rqueue;
                }
            }
        }
    }
}

std::vector<ino_t> socketsOf(pid_t pid) {
    std::vector<ino_t> inodes;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* descriptors = ::opendir(folder.c_str());
    if (!descriptors) return inodes;
    constexpr std::string_view kPrefix = "socket:[";
    while (const dirent* entry = ::readdir(descriptors)) {
        if (entry->d_name[0] == '.') continue;
        char link[64] = {};
        const std::string path = folder + "/" + entry->d_name;
        const ssize_t length = ::readlink(path.c_str(), link, sizeof link - 1);
        if (length <= 0 || std::string_view(link, length).substr(0, kPrefix.size()) != kPrefix)
            continue;
        inodes.push_back(static_cast<ino_t>(std::strtoull(link + kPrefix.size(), nullptr, 10)));
    }
    ::closedir(descriptors);
    return inodes;
}

pid_t peerProcess(int socketFd) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return 0;
    return credentials.pid > 0 ? credentials.pid : 0;
}

}  // namespace tarn::posix
