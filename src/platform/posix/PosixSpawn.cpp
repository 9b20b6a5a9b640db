// SPDX-License-Identifier: GPL-3.0-or-later
#include "PosixSpawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <iterator>
#include <map>
#include <mutex>

#include "OwnEnvironment.h"

namespace tarn::posix {

namespace {

// The PIDs of the started programs not collected yet. Tarn runs its macros on
// one thread, but GLib's worker threads exist in the same process; the lock
// keeps the list sound should any other thread ever start a program.
std::mutex gChildrenLock;
// Each with the serial number of its start: a number the system gives again
// after the child was collected never carries the same one.
std::map<pid_t, std::uint64_t> gChildren;
std::uint64_t gLastSerial = 0;

// Whether waitpid says the child is finished with (collected now, or not ours).
bool collect(pid_t pid, int* status = nullptr) {
    int ended = 0;
    pid_t got;
    do {
        got = waitpid(pid, &ended, WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (status) *status = got == pid ? ended : -1;
    return got == pid || (got < 0 && errno == ECHILD);
}

class SpawnSetup {
  public:
    SpawnSetup() {
        posix_spawnattr_init(&attributes_);
        posix_spawn_file_actions_init(&actions_);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    int prepare(const SpawnOptions& options) {
        short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        int rc = posix_spawnattr_setflags(&attributes_, flags);
        sigset_t none;
        sigemptyset(&none);
        if (rc == 0) rc = posix_spawnattr_setsigmask(&attributes_, &none);
        // Signals Tarn ignores (SIGPIPE, say) would otherwise stay ignored in
        // the program; start it with every disposition at its default.
        sigset_t all;
        sigfillset(&all);
        sigdelset(&all, SIGKILL);
        sigdelset(&all, SIGSTOP);
        if (rc == 0) rc = posix_spawnattr_setsigdefault(&attributes_, &all);
        if (rc == 0)
            rc =
                posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (rc == 0)
            rc = posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY,
                                                  0);
        if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions_, STDOUT_FILENO, STDERR_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        // The program may outlive Tarn by days: it must not keep Tarn's X
        // connection, D-Bus sockets or files open.
        if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
#endif
        if (rc == 0 && !options.workingDirectory.empty())
            rc = posix_spawn_file_actions_addchdir_np(&actions_, options.workingDirectory.c_str());
        return rc;
    }

    const posix_spawnattr_t* attributes() const {
        return &attributes_;
    }
    const posix_spawn_file_actions_t* actions() const {
        return &actions_;
    }

  private:
    posix_spawnattr_t attributes_;
    posix_spawn_file_actions_t actions_;
};

}  // namespace

SpawnResult spawnProgram(const std::vector<std::string>& argv, const SpawnOptions& options) {
    SpawnResult result;
    if (argv.empty() || argv.front().empty()) {
        result.error = ENOENT;
        return result;
    }
    reapExitedChildren();

    std::vector<char*> arguments;
    arguments.reserve(argv.size() + 1);
    for (const std::string& word : argv)
        arguments.push_back(const_cast<char*>(word.c_str()));
    arguments.push_back(nullptr);

    std::vector<std::string> environment = startedProgramEnvironment();
    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    SpawnSetup setup;
    int rc = setup.prepare(options);
    if (rc == 0) {
        // glibc starts the child with CLONE_VFORK and hands back the errno of a
        // failed exec as the result, so a missing or non-executable program is
        // reported here, not by a child that exits with 127.
        rc = posix_spawnp(&result.pid, arguments.front(), setup.actions(), setup.attributes(),
                          arguments.data(), envp.data());
    }
    if (rc != 0) {
        result.pid = 0;
        result.error = rc;
        return result;
    }
    std::lock_guard<std::mutex> lock(gChildrenLock);
    gChildren[result.pid] = ++gLastSerial;
    return result;
}

void reapExitedChildren() {
    std::lock_guard<std::mutex> lock(gChildrenLock);
    for (auto it = gChildren.begin(); it != gChildren.end();)
        it = collect(it->first) ? gChildren.erase(it) : std::next(it);
}

bool isRecordedChild(pid_t pid) {
    return childSerial(pid) != 0;
}

std::uint64_t childSerial(pid_t pid) {
    std::lock_guard<std::mutex> lock(gChildrenLock);
    const auto it = gChildren.find(pid);
    return it == gChildren.end() ? 0 : it->second;
}

bool reapChild(pid_t pid, int waitMilliseconds, int* status) {
    if (status) *status = -1;
    std::lock_guard<std::mutex> lock(gChildrenLock);
    auto it = gChildren.find(pid);
    if (it == gChildren.end()) return true;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    const timespec pause{0, 1000 * 1000};  // 1 ms
    for (;;) {
        if (collect(pid, status)) {
            gChildren.erase(it);
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        nanosleep(&pause, nullptr);
    }
}

}  // namespace tarn::posix
