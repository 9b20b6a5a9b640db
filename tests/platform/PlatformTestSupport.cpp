// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlatformTestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tarn::platformtest {

TempDir::TempDir(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string& path, const std::string& content, unsigned mode) {
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        if (!file) throw std::runtime_error("cannot write " + path);
        file << content;
    }
    chmod(path.c_str(), mode);
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

void makeFolder(const std::string& path) {
    std::filesystem::create_directories(path);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

void isolateGio(const std::string& root) {
    const std::pair<const char*, std::string> variables[] = {
        {"XDG_DATA_HOME", root + "/data"},
        {"XDG_DATA_DIRS", root + "/data-dirs"},
        {"XDG_CONFIG_HOME", root + "/config"},
        {"XDG_CONFIG_DIRS", root + "/config-dirs"},
        {"XDG_CACHE_HOME", root + "/cache"},
        {"GIO_MODULE_DIR", root + "/no-modules"},
        {"GIO_USE_VFS", "local"},
        {"GSETTINGS_BACKEND", "memory"},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root + "/no-bus"}};
    for (const auto& [name, value] : variables) {
        if (value.front() == '/') makeFolder(value);
        setenv(name, value.c_str(), 1);
    }
}

bool waitUntil(const std::function<bool()>& predicate, std::chrono::milliseconds limit,
               std::chrono::milliseconds interval) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (predicate()) return true;
        std::this_thread::sleep_for(interval);
    }
    return predicate();
}

std::vector<std::string> descriptorsOf(pid_t pid) {
    std::vector<std::pair<int, std::string>> found;
    std::error_code error;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const auto target = std::filesystem::read_symlink(entry.path(), error);
        found.emplace_back(std::atoi(entry.path().filename().c_str()),
                           error ? "?" : target.string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (const auto& [fd, target] : found)
        out.push_back(std::to_string(fd) + "=" + target);
    return out;
}

std::vector<std::string> commandLineOf(pid_t pid) {
    const std::string raw = readFile("/proc/" + std::to_string(pid) + "/cmdline");
    std::vector<std::string> words;
    std::string word;
    for (char c : raw) {
        if (c == '\0') {
            words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return words;
}

namespace {

// State and parent from /proc/PID/stat.
bool statOf(pid_t pid, char& state, pid_t& parent) {
    const std::string line = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size()) return false;
    std::istringstream rest(line.substr(close + 2));
    rest >> state >> parent;
    return static_cast<bool>(rest);
}

}  // namespace

char stateOf(pid_t pid) {
    char state = 0;
    pid_t parent = 0;
    return statOf(pid, state, parent) ? state : 0;
}

std::vector<pid_t> zombieChildren() {
    std::vector<pid_t> zombies;
    DIR* proc = opendir("/proc");
    if (!proc) return zombies;
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0) continue;
        char state = 0;
        pid_t parent = 0;
        if (statOf(static_cast<pid_t>(pid), state, parent) && parent == getpid() && state == 'Z')
            zombies.push_back(static_cast<pid_t>(pid));
    }
    closedir(proc);
    return zombies;
}

Helper::Helper(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& outputFile, bool pipeOutput) {
    std::vector<std::string> environment(env);
    for (char** entry = environ; *entry; ++entry) {
        const std::string current = *entry, name = current.substr(0, current.find('=') + 1);
        if (std::none_of(env.begin(), env.end(),
                         [&](const std::string& extra) { return extra.rfind(name, 0) == 0; }))
            environment.push_back(current);
    }

    std::vector<char*> args;
    for (const std::string& word : argv)
        args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (pipeOutput && pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (pipeOutput) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    } else {
        const std::string sink = outputFile.empty() ? "/dev/null" : outputFile;
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, sink.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int rc =
        posix_spawnp(&pid_, args.front(), &actions, &attributes, args.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (pipeOutput) {
        close(pipeFds[1]);
        output_ = pipeFds[0];
    }
    if (rc != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + argv.front() + ": " + std::strerror(rc));
    }
}

Helper::~Helper() {
    stop();
    if (output_ >= 0) close(output_);
}

namespace {

// Reads what the pipe holds, waiting until `end`: the count of bytes read, 0
// at its end (every writer has closed it), -1 when the time is up.
ssize_t readSome(int fd, std::string& buffer, std::chrono::steady_clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    pollfd ready{fd, POLLIN, 0};
    if (fd < 0 || left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0)
        return -1;
    char chunk[256];
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got > 0) buffer.append(chunk, static_cast<std::size_t>(got));
    return got < 0 ? -1 : got;
}

}  // namespace

bool Helper::readLine(std::string& line, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto newline = buffered_.find('\n');
        if (newline != std::string::npos) {
            line = buffered_.substr(0, newline);
            buffered_.erase(0, newline + 1);
            return true;
        }
        if (readSome(output_, buffered_, end) <= 0) return false;
    }
}

bool Helper::readsToEnd(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const ssize_t got = readSome(output_, buffered_, end);
        if (got <= 0) return got == 0;
    }
}

int Helper::waitExit(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return -1;
    int status = 0;
    const bool ended = waitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
    if (!ended) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void Helper::stop() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGKILL);
    int status = 0;
    waitUntil([&] { return waitpid(pid_, &status, WNOHANG) != 0; }, 5s);
    pid_ = -1;
}

}  // namespace tarn::platformtest
