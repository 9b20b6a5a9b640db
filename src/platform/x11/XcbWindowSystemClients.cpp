// SPDX-License-Identifier: GPL-3.0-or-later
#include "XcbWindowSystemClients.h"

#include <dirent.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tarn::x11 {

namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// An abstract address starts with a NUL; the same display listens on an
// abstract and a path socket of the same name, and a client may use either.
std::string displayName(std::string name) {
    if (!name.empty() && name.front() == '\0') name.erase(0, 1);
    while (!name.empty() && name.back() == '\0')
        name.pop_back();
    return name;
}

// The inode of a descriptor's socket, as /proc/PID/fd/N links show it
// ("socket:[12345]"); 0 for anything else.
ino_t socketInode(const std::string& link) {
    constexpr std::string_view kPrefix = "socket:[";
    if (link.compare(0, kPrefix.size(), kPrefix) != 0) return 0;
    return static_cast<ino_t>(std::strtoull(link.c_str() + kPrefix.size(), nullptr, 10));
}

}  // namespace

std::optional<DisplayClients> DisplayClients::snapshot(int connectionFd) {
    struct stat own {};
    if (::fstat(connectionFd, &own) != 0 || !S_ISSOCK(own.st_mode)) return std::nullopt;

    Descriptor diag(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (diag.get() < 0) return std::nullopt;
    struct {
        nlmsghdr header;
        unix_diag_req request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.request.sdiag_family = AF_UNIX;
    message.request.udiag_states = ~0u;
    message.request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_PEER;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(diag.get(), &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) < 0)
        return std::nullopt;

    DisplayClients clients;
    std::vector<char> buffer(64 * 1024);
    for (bool done = false; !done;) {
        const ssize_t got = ::recv(diag.get(), buffer.data(), buffer.size(), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        auto length = static_cast<unsigned>(got);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(header, length);
             header = NLMSG_NEXT(header, length)) {
            if (header->nlmsg_type == NLMSG_DONE) {
                done = true;
                break;
            }
            if (header->nlmsg_type == NLMSG_ERROR) return std::nullopt;
            const auto* entry = static_cast<const unix_diag_msg*>(NLMSG_DATA(header));
            Socket socket;
            int attributesLength =
                static_cast<int>(header->nlmsg_len - NLMSG_LENGTH(sizeof *entry));
            for (auto* attribute = reinterpret_cast<rtattr*>(const_cast<unix_diag_msg*>(entry) + 1);
                 RTA_OK(attribute, attributesLength);
                 attribute = RTA_NEXT(attribute, attributesLength)) {
                const char* data = static_cast<const char*>(RTA_DATA(attribute));
                if (attribute->rta_type == UNIX_DIAG_NAME) {
                    socket.name.assign(data, RTA_PAYLOAD(attribute));
                } else if (attribute->rta_type == UNIX_DIAG_PEER &&
                           RTA_PAYLOAD(attribute) >= sizeof(std::uint32_t)) {
                    std::uint32_t peer = 0;
                    std::memcpy(&peer, data, sizeof peer);
                    socket.peer = peer;
                }
            }
            clients.sockets_[entry->udiag_ino] = std::move(socket);
        }
    }

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
    const std::string folder = "/proc/" + std::to_string(process) + "/fd";
    DIR* descriptors = ::opendir(folder.c_str());
    if (!descriptors) return false;
    bool held = false;
    while (const dirent* entry = ::readdir(descriptors)) {
        if (entry->d_name[0] == '.') continue;
        char link[64] = {};
        const std::string path = folder + "/" + entry->d_name;
        const ssize_t length = ::readlink(path.c_str(), link, sizeof link - 1);
        if (length <= 0) continue;
        const auto socket = sockets_.find(socketInode(std::string(link, length)));
        if (socket == sockets_.end()) continue;
        const auto peer = sockets_.find(socket->second.peer);
        if (peer != sockets_.end() && displayName(peer->second.name) == display_) {
            held = true;
            break;
        }
    }
    ::closedir(descriptors);
    return held;
}

pid_t peerProcess(int socketFd) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return 0;
    return credentials.pid > 0 ? credentials.pid : 0;
}

}  // namespace tarn::x11
