// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlatformTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
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

std::runtime_error systemError(const std::string& what, int error) {
    return std::runtime_error(what + ": " + std::strerror(error));
}

int highDescriptor(int fd) {
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    if (moved < 0) throw systemError("fcntl", errno);
    return moved;
}

void makePipe(int fds[2]) {
    if (pipe2(fds, O_CLOEXEC) != 0) throw systemError("pipe2", errno);
    fds[0] = highDescriptor(fds[0]);
    fds[1] = highDescriptor(fds[1]);
}

bool reapWithin(pid_t pid, std::chrono::milliseconds timeout, int* status) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int raw = 0;
        pid_t r = waitpid(pid, &raw, WNOHANG);
        if (r == pid && status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        if (r == pid || (r < 0 && errno == ECHILD)) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

pid_t launch(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::vector<std::pair<int, int>>& dups) {
    if (argv.empty()) throw std::invalid_argument("spawn: empty argv");
    std::vector<char*> args, envp;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    // The child reports a failed exec through this pipe; a successful one
    // closes it.
    int report[2];
    makePipe(report);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        int error = errno;
        close(report[0]);
        close(report[1]);
        throw systemError("fork", error);
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here to the exec.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        for (const auto& [from, to] : dups)
            if (dup2(from, to) < 0) _exit(127);
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        for (int sig = 1; sig < NSIG; ++sig)
            sigaction(sig, &defaults, nullptr);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execvpe(args[0], args.data(), envp.data());
        int error = errno;
        ssize_t ignored = write(report[1], &error, sizeof error);
        (void)ignored;
        _exit(127);
    }
    close(report[1]);
    int error = 0;
    ssize_t n;
    do {
        n = read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    close(report[0]);
    if (n == static_cast<ssize_t>(sizeof error)) {
        waitpid(pid, nullptr, 0);
        throw systemError("cannot start " + argv[0], error);
    }
    return pid;
}

pid_t launchAt(pid_t wanted, const std::vector<std::string>& argv) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (kill(wanted, 0) == 0 || errno != ESRCH) return -1;
        {
            std::ofstream last("/proc/sys/kernel/ns_last_pid");
            last << wanted - 1;
            last.flush();
            if (!last) return -1;
        }
        const pid_t pid = launch(argv, environmentWith({}), {});
        if (pid == wanted) return pid;
        kill(pid, SIGKILL);
        reapWithin(pid, std::chrono::seconds(10));
    }
    return -1;
}

std::vector<std::string> environmentWith(const std::vector<std::string>& entries) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry)
        env.emplace_back(*entry);
    for (const std::string& entry : entries) {
        const std::string name = entry.substr(0, entry.find('=')) + '=';
        env.erase(std::remove_if(env.begin(), env.end(),
                                 [&](const std::string& e) { return e.rfind(name, 0) == 0; }),
                  env.end());
        if (entry.find('=') != std::string::npos) env.push_back(entry);
    }
    return env;
}

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

std::vector<std::string> lines(const std::string& text, char separator) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line, separator);)
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
    return lines(readFile("/proc/" + std::to_string(pid) + "/cmdline"), '\0');
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

std::uint64_t ignoredSignalsOf(pid_t pid) {
    const std::string status = readFile("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = status.find("SigIgn:");
    return at == std::string::npos ? 0 : std::stoull(status.substr(at + 7), nullptr, 16);
}

std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const pid_t pid = std::atoi(entry.path().filename().c_str());
        char state = 0;
        pid_t ppid = 0;
        if (pid > 0 && statOf(pid, state, ppid) && ppid == parent) found.push_back(pid);
    }
    return found;
}

std::vector<pid_t> zombieChildren() {
    std::vector<pid_t> zombies;
    for (pid_t pid : childrenOf(getpid()))
        if (stateOf(pid) == 'Z') zombies.push_back(pid);
    return zombies;
}

std::string readUntil(int fd, std::chrono::milliseconds limit,
                      const std::function<bool(const std::string&)>& done, bool* ended) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::string text;
    char buffer[4096];
    while (!done(text)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 && ended) *ended = true;
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

Helper::Helper(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& outputFile, bool pipeOutput) {
    int out[2] = {-1, -1};
    if (pipeOutput) {
        makePipe(out);
    } else {
        const std::string sink = outputFile.empty() ? "/dev/null" : outputFile;
        out[1] = highDescriptor(open(sink.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    }
    const int in = highDescriptor(open("/dev/null", O_RDONLY | O_CLOEXEC));
    try {
        pid_ = launch(argv, environmentWith(env), {{in, 0}, {out[1], 1}, {out[1], 2}});
    } catch (...) {
        for (int fd : {in, out[0], out[1]})
            if (fd >= 0) close(fd);
        throw;
    }
    close(in);
    close(out[1]);
    output_ = out[0];
}

Helper::~Helper() {
    stop();
    if (output_ >= 0) close(output_);
}

bool Helper::readLine(std::string& line, std::chrono::milliseconds limit) {
    line = readUntil(output_, limit,
                     [](const std::string& text) { return text.find('\n') != std::string::npos; });
    const auto newline = line.find('\n');
    line.erase(std::min(newline, line.size()));
    return newline != std::string::npos;
}

bool Helper::readsToEnd(std::chrono::milliseconds limit) {
    bool ended = false;
    readUntil(
        output_, limit, [](const std::string&) { return false; }, &ended);
    return ended;
}

int Helper::waitExit(std::chrono::milliseconds limit) {
    int status = -1;
    if (pid_ <= 0 || !reapWithin(pid_, limit, &status)) return -1;
    pid_ = -1;
    return status;
}

void Helper::stop() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGKILL);
    reapWithin(pid_, 5s);
    pid_ = -1;
}

}  // namespace tarn::platformtest
