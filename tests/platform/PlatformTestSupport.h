// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small tools for the platform backend tests: temporary folders, files, bounded
// waits, /proc inspection and helper processes that are ended by their PID.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tarn::platformtest {

using namespace std::chrono_literals;

// "what: " and the text of the errno value.
std::runtime_error systemError(const std::string& what, int error);

// A fresh folder under /tmp, removed with everything in it on destruction.
class TempDir {
  public:
    explicit TempDir(const std::string& prefix = "tarn-platform");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& content, unsigned mode = 0644);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
void makeFolder(const std::string& path);
// The text cut at each separator (a last one is no empty line).
std::vector<std::string> lines(const std::string& text, char separator = '\n');

// Points GIO at an XDG tree of its own under `root`, with no GIO modules and
// no session bus, so that nothing outside the tree takes part and nothing is
// started behind the test's back. GIO reads these once, at its first use.
void isolateGio(const std::string& root);

// Polls the predicate until it holds (true) or the time is up (false).
bool waitUntil(const std::function<bool()>& predicate, std::chrono::milliseconds limit,
               std::chrono::milliseconds interval = 5ms);

// The words of /proc/PID/cmdline; empty when the process is gone.
std::vector<std::string> commandLineOf(pid_t pid);
// The state letter of /proc/PID/stat ('Z' zombie); 0 when the process is gone.
char stateOf(pid_t pid);
// The signals the process ignores, bit N-1 for signal N (SigIgn of
// /proc/PID/status); 0 when the process is gone.
std::uint64_t ignoredSignalsOf(pid_t pid);
// What each open descriptor of the process names ("/dev/null", "pipe:[...]"),
// in descriptor order, as "fd=target"; empty when the process is gone.
std::vector<std::string> descriptorsOf(pid_t pid);
// The processes whose parent is `parent`, and those of this test process
// that are zombies.
std::vector<pid_t> childrenOf(pid_t parent);
std::vector<pid_t> zombieChildren();

// Reads the descriptor until `done` holds for what arrived, its end (*ended
// set then), or `limit`.
std::string readUntil(int fd, std::chrono::milliseconds limit,
                      const std::function<bool(const std::string&)>& done, bool* ended = nullptr);

// Starts argv[0] (searched on PATH) as the leader of a new process group, with
// the environment `env`, each descriptor of `dups` duplicated onto the child's
// (source, target) and every signal at its default. The child gets SIGTERM
// when the thread that started it ends, so that not even a crashed test
// leaves a server or a window behind. Throws std::runtime_error when the
// program cannot be started.
pid_t launch(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::vector<std::pair<int, int>>& dups);
// Launches argv (as launch() does, with the test's environment) so that it
// gets the PID `wanted`, which must be free: the kernel hands out the number
// after the one in /proc/sys/kernel/ns_last_pid (writable by root only).
// Another process may fork in between; a bounded number of tries. -1 when the
// number cannot be had (not root, or another process holds it).
pid_t launchAt(pid_t wanted, const std::vector<std::string>& argv);
// The test's environment with each "NAME=value" entry setting that variable
// and each bare "NAME" removing it; later entries win.
std::vector<std::string> environmentWith(const std::vector<std::string>& entries);
// Waits at most `timeout` for the child to end; true when it was reaped (or
// is no child of ours), with its exit status or 128 + the signal that ended
// it in *status.
bool reapWithin(pid_t pid, std::chrono::milliseconds timeout, int* status = nullptr);
// Moves a descriptor above the standard ones, close-on-exec, so that a child
// only ever gets it through an explicit dup2; makePipe() makes both ends so.
int highDescriptor(int fd);
void makePipe(int fds[2]);

// A helper program run by the test itself (not by the code under test), in a
// process group of its own, stdout and stderr into a file or a pipe. stop()
// and the destructor end the group by its ID and reap the process, bounded.
class Helper {
  public:
    // env entries "NAME=value" replace or extend the test's environment.
    Helper(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
           const std::string& outputFile = {}, bool pipeOutput = false);
    ~Helper();
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    pid_t pid() const { return pid_; }
    // Reads the first line of the piped output, waiting at most `limit`.
    bool readLine(std::string& line, std::chrono::milliseconds limit);
    // Reads the piped output until its end, waiting at most `limit`: true at
    // the end (every writer has closed it), false when the time is up.
    bool readsToEnd(std::chrono::milliseconds limit);
    // Waits at most `limit` for the process to end by itself; its exit status
    // or -1.
    int waitExit(std::chrono::milliseconds limit);
    void stop();

  private:
    pid_t pid_ = -1;
    int output_ = -1;
};

}  // namespace tarn::platformtest
