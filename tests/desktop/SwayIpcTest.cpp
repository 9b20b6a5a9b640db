// SPDX-License-Identifier: GPL-3.0-or-later
// Sway's IPC as the Wayland window system asks it, against a stand-in that
// answers one GET_TREE: no compositor needed.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

#include "PlatformTestSupport.h"
#include "SwayIpc.h"

namespace tarn::wayland {
namespace {

// A socket path may fill a Unix address but for its final NUL: the longest
// one still reaches sway.
TEST(SwayIpcTest, ReachesASocketAtTheLongestPath) {
    platformtest::TempDir folder("tarn-ipc");
    sockaddr_un address{};
    std::string path = folder.path() + "/";
    path += std::string(sizeof address.sun_path - 1 - path.size(), 's');
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    const int server = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(server, 1), 0);
    std::thread answer([server] {
        const int client = accept(server, nullptr, nullptr);
        char request[14];
        if (client < 0 || recv(client, request, sizeof request, MSG_WAITALL) != 14) return;
        const std::string tree = R"({"type":"root","nodes":[{"type":"con","pid":42,"name":"t"}]})";
        std::string reply(request, 6);
        const std::uint32_t header[2] = {static_cast<std::uint32_t>(tree.size()), 4};
        reply.append(reinterpret_cast<const char*>(header), sizeof header);
        send(client, (reply + tree).data(), reply.size() + tree.size(), MSG_NOSIGNAL);
        close(client);
    });
    const auto windows = SwayIpc(path.c_str()).windows();
    shutdown(server, SHUT_RDWR);  // no connection came: the stand-in stops waiting
    answer.join();
    close(server);
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].pid, 42);
}

}  // namespace
}  // namespace tarn::wayland
