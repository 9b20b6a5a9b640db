// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Starting programs that outlive Tarn, and reaping the ones that end while Tarn
// runs.
//
// Every program Tarn starts (Run, and the programs and print jobs RunExecute
// starts itself) goes through spawnProgram, which records its PID. A recorded
// child that has ended is collected by reapExitedChildren, which every process
// operation calls first and which the host calls from a cheap periodic hook
// (its event-loop yield or a timer), so no ended program stays a zombie for
// more than a moment.
//
// Why polling rather than a SIGCHLD handler: the disposition of SIGCHLD belongs
// to the whole process, and Qt (QProcess) and GLib (child watches) each manage
// their own children through it or through pidfds. Waiting only for the PIDs
// Tarn itself recorded, with WNOHANG, never steals another component's child
// status and needs neither a signal handler nor a thread; the cost is a few
// waitpid calls per pass for the handful of programs a macro starts.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tarn::posix {

struct SpawnOptions {
    // The folder the program starts in; empty keeps Tarn's current folder.
    std::string workingDirectory;
};

struct SpawnResult {
    pid_t pid = 0;  // the new process, when error is 0
    int error = 0;  // errno of the failed start (from the exec itself too)
};

// Starts argv[0] with the arguments argv[1..] (searching PATH when argv[0] has
// no slash), without a shell. The program gets its own session, so it keeps
// running after Tarn ends and is not hit by the hang-up of Tarn's terminal;
// its standard input, output and error are /dev/null, its signal dispositions
// and mask are the defaults, and it inherits no descriptor of Tarn's at all:
// a program that outlives Tarn must not keep a pipe reading Tarn's output
// (`out=$(tarn job.mcr)`) waiting for its end.
SpawnResult spawnProgram(const std::vector<std::string>& argv, const SpawnOptions& options = {});

// Collects every recorded child that has ended. Cheap when none has.
void reapExitedChildren();

// Whether the process is a child that Tarn started and has not collected yet.
bool isRecordedChild(pid_t pid);
// The serial number of that child's start (1 for the first program Tarn
// started, and so on), 0 when the process is no such child.
std::uint64_t childSerial(pid_t pid);

// Collects a recorded child that has ended, waiting for it at most the given
// number of milliseconds. Returns true when it is gone (collected now or
// earlier, or never ours), false when it is still running. When it was
// collected now and status is given, *status receives its wait status, else
// -1.
bool reapChild(pid_t pid, int waitMilliseconds, int* status = nullptr);

}  // namespace tarn::posix
