// SPDX-License-Identifier: GPL-3.0-or-later
// SocketBacklog against a real listening socket and a client process that
// never reads.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "SocketBacklog.h"

namespace tarn::posix {
namespace {

int connectTo(const sockaddr_un& address) {
    const int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (client < 0 ||
        ::connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        ::_exit(1);
    return client;
}

void send(int connection, std::size_t bytes) {
    const std::string data(bytes, 'k');
    ASSERT_EQ(::write(connection, data.data(), data.size()), static_cast<ssize_t>(bytes));
}

// Ends the client process by its ID however the test ends.
struct Child {
    pid_t pid;
    ~Child() {
        if (pid <= 0) return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

// A program that stopped reading before a Send began (a hung bystander)
// holds the Send up no longer; once it is sent more, it counts whole.
TEST(SocketBacklog, LeavesOutWhatAClientHadLeftUnreadUntilItIsSentMore) {
    char folder[] = "/tmp/tarn-backlog-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/server";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(server, 4), 0);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    // The clients' ends are another process's: this one's are never counted.
    const Child clients{::fork()};
    ASSERT_GE(clients.pid, 0);
    if (clients.pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        connectTo(address);
        connectTo(address);
        if (::write(ready[1], "r", 1) != 1) ::_exit(1);
        for (;;)
            ::pause();
    }
    pollfd connected{ready[0], POLLIN, 0};
    ASSERT_EQ(::poll(&connected, 1, 10000), 1);
    const int hung = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
    const int target = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(hung, 0);
    ASSERT_GE(target, 0);

    auto backlog = SocketBacklog::open(path);
    ASSERT_TRUE(backlog);
    send(hung, 3000);
    EXPECT_EQ(backlog->largest(), 3000u);
    backlog->settle();
    EXPECT_EQ(backlog->largest(), 0u);
    send(target, 100);
    EXPECT_EQ(backlog->largest(), 100u);
    send(hung, 10);
    EXPECT_EQ(backlog->largest(), 3010u);
    // Counted whole from then on, whatever it was sent before.
    send(target, 5000);
    EXPECT_EQ(backlog->largest(), 5100u);
    backlog->settle();
    EXPECT_EQ(backlog->largest(), 0u);

    for (int fd : {hung, target, server, ready[0], ready[1]})
        ::close(fd);
    ::unlink(path.c_str());
    ::rmdir(folder);
}

}  // namespace
}  // namespace tarn::posix
