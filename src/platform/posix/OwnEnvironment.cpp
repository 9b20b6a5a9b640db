// SPDX-License-Identifier: GPL-3.0-or-later
#include "OwnEnvironment.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

extern char** environ;

namespace tarn::posix {
namespace {

std::mutex gLock;
std::vector<std::pair<std::string, std::optional<std::string>>> gOwn;

// A folder only this user can enter: not a link, owned by the user, mode 700.
bool isPrivateFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 07777) == 0700;
}

}  // namespace

void setOwnVariable(const std::string& name, const std::string& value) {
    std::lock_guard<std::mutex> lock(gLock);
    bool known = false;
    for (const auto& entry : gOwn)
        known = known || entry.first == name;
    if (!known) {
        const char* original = std::getenv(name.c_str());
        gOwn.emplace_back(name, original ? std::optional<std::string>(original) : std::nullopt);
    }
    setenv(name.c_str(), value.c_str(), 1);
}

void preventSessionBusAutolaunch() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !*address) setOwnVariable("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

void provideRuntimeFolder() {
    const char* current = std::getenv("XDG_RUNTIME_DIR");
    if (current && *current) return;
    const std::string uid = std::to_string(::getuid());
    const std::string session = "/run/user/" + uid;
    if (isPrivateFolder(session)) {
        setOwnVariable("XDG_RUNTIME_DIR", session);
        return;
    }
    const std::string own = "/tmp/tarn-runtime-" + uid;
    ::mkdir(own.c_str(), 0700);
    if (isPrivateFolder(own)) setOwnVariable("XDG_RUNTIME_DIR", own);
}

void provideHomeFolder() {
    const char* current = std::getenv("HOME");
    if (current && *current) return;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return;
    const std::string home = found->pw_dir;
    struct stat info {};
    if (home.size() < 2 || home.front() != '/' || ::stat(home.c_str(), &info) != 0 ||
        !S_ISDIR(info.st_mode))
        return;
    setOwnVariable("HOME", home);
}

std::vector<std::pair<std::string, std::optional<std::string>>> ownVariables() {
    std::lock_guard<std::mutex> lock(gLock);
    return gOwn;
}

std::vector<std::string> startedProgramEnvironment() {
    const auto own = ownVariables();
    std::vector<std::string> out;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& variable : own)
            replaced = replaced || variable.first == name;
        if (!replaced) out.push_back(text);
    }
    for (const auto& [name, original] : own)
        if (original) out.push_back(name + "=" + *original);
    return out;
}

}  // namespace tarn::posix
