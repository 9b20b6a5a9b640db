// SPDX-License-Identifier: GPL-3.0-or-later
#include "SwayIpc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "JsonScan.h"

namespace tarn::wayland {

namespace {

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::uint32_t kGetTree = 4;
constexpr int kTimeoutMs = 2000;

// A whole buffer over a blocking socket whose every wait is bounded.
bool transfer(int fd, char* data, std::size_t size, bool send) {
    while (size > 0) {
        pollfd p{fd, static_cast<short>(send ? POLLOUT : POLLIN), 0};
        if (::poll(&p, 1, kTimeoutMs) <= 0) return false;
        const ssize_t n = send ? ::send(fd, data, size, MSG_NOSIGNAL) : ::recv(fd, data, size, 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string request(const std::string& path, std::uint32_t type) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    std::string reply;
    char header[14];
    std::memcpy(header, kMagic, 6);
    const std::uint32_t fields[2] = {0, type};
    std::memcpy(header + 6, fields, 8);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        transfer(fd, header, sizeof header, true) && transfer(fd, header, sizeof header, false) &&
        std::memcmp(header, kMagic, 6) == 0) {
        std::uint32_t length = 0;
        std::memcpy(&length, header + 6, 4);
        reply.resize(length);
        if (!transfer(fd, reply.data(), length, false)) reply.clear();
    }
    ::close(fd);
    return reply;
}

void collect(const JsonValue& node, std::vector<SwayWindow>& out) {
    const JsonValue* pid = node.member("pid");
    const JsonValue* type = node.member("type");
    if (pid && type && (type->text == "con" || type->text == "floating_con")) {
        SwayWindow window;
        window.pid = static_cast<ProcessId>(pid->number);
        if (const JsonValue* id = node.member("id"))
            window.id = static_cast<std::int64_t>(id->number);
        if (const JsonValue* name = node.member("name")) window.title = name->text;
        if (const JsonValue* appId = node.member("app_id"); appId && !appId->isNull) {
            window.appId = appId->text;
        } else if (const JsonValue* properties = node.member("window_properties")) {
            if (const JsonValue* wmClass = properties->member("class"))
                window.appId = wmClass->text;
        }
        out.push_back(std::move(window));
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        if (const JsonValue* list = node.member(children)) {
            for (const JsonValue& child : list->items)
                collect(child, out);
        }
    }
}

}  // namespace

SwayIpc::SwayIpc(const char* socket) {
    if (!socket) socket = std::getenv("SWAYSOCK");
    if (socket) path_ = socket;
}

std::vector<SwayWindow> SwayIpc::windows() const {
    std::vector<SwayWindow> windows;
    if (path_.empty()) return windows;
    JsonValue tree;
    if (parseJson(request(path_, kGetTree), tree)) collect(tree, windows);
    std::sort(windows.begin(), windows.end(),
              [](const SwayWindow& a, const SwayWindow& b) { return a.id < b.id; });
    return windows;
}

}  // namespace tarn::wayland
