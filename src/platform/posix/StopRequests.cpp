// SPDX-License-Identifier: GPL-3.0-or-later
#include "StopRequests.h"

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tarn::posix {
namespace {

constexpr const char* kPrefix = "stop-";

// The folder of the sockets, made when missing. Empty when there is none
// that belongs to this user alone: a folder others may write into could
// carry a socket of theirs that a --stop would talk to.
std::string socketFolder(std::string& problem) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtime && *runtime == '/'
                                   ? std::string(runtime) + "/tarn"
                                   : "/tmp/tarn-" + std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        problem = "cannot make " + folder + ": " + std::strerror(errno);
        return {};
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid() || (info.st_mode & 077) != 0) {
        problem = folder + " is not a folder of this user's alone";
        return {};
    }
    return folder;
}

bool toAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

StopRequests::~StopRequests() {
    close();
}

bool StopRequests::listen() {
    if (listener_ >= 0) return true;
    std::string problem;
    const std::string folder = socketFolder(problem);
    sockaddr_un address;
    const std::string path = folder + "/" + kPrefix + std::to_string(::getpid());
    if (folder.empty() || !toAddress(path, address)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    // A socket of an earlier process with this PID is long dead.
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0) {
        ::close(fd);
        return false;
    }
    listener_ = fd;
    path_ = path;
    return true;
}

void StopRequests::close() {
    if (listener_ < 0) return;
    ::unlink(path_.c_str());
    ::close(listener_);
    listener_ = -1;
}

int StopRequests::take() {
    if (listener_ < 0) return 0;
    int asked = 0;
    for (;;) {
        const int peer = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer < 0) {
            if (errno == EINTR) continue;
            return asked;
        }
        ucred credentials{};
        socklen_t size = sizeof credentials;
        if (::getsockopt(peer, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
            credentials.uid == ::getuid()) {
            ++asked;
        }
        ::close(peer);
    }
}

int StopRequests::stopAll(std::string& psvProblem) {
    const std::string folder = socketFolder(psvProblem);
    if (folder.empty()) return -1;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        psvProblem = "cannot read " + folder + ": " + std::strerror(errno);
        return -1;
    }
    int asked = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, kPrefix, std::strlen(kPrefix)) != 0) continue;
        const std::string path = folder + "/" + entry->d_name;
        sockaddr_un address;
        if (!toAddress(path, address)) continue;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            ++asked;
        } else if (errno == ECONNREFUSED) {
            ::unlink(path.c_str());
        }
        ::close(fd);
    }
    ::closedir(dir);
    return asked;
}

}  // namespace tarn::posix
