// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Processes on POSIX: Run's program start, KillProcess's open and end steps.

#include "Processes.h"

namespace tarn::posix {

class PosixProcesses : public Processes {
  public:
    PosixProcesses() = default;

    // Splits the command line (see PosixCommandLine.h), starts the program
    // with a PATH search and returns its PID at once. Throws the runtime
    // failure 53 when the program cannot be found, 70 when it may not be run
    // (no execute permission, a folder), 5 for an empty command line or a
    // file that is no program (no "#!" line, not an executable format), 7
    // when the system has no room for another process, else 75.
    ProcessId start(const std::string& commandLine) override;

    // 0 when the process exists and may be signalled, else ESRCH (no such
    // process; an ended process that is still a zombie counts as gone) or
    // EPERM. IDs of 0 and below and Tarn's own ID never reach kill(): they
    // give ESRCH and EPERM.
    int open(ProcessId process) override;
    // Sends SIGKILL and confirms the end: 0 once the process is gone or a
    // zombie (a program Tarn started is collected then), the errno of kill(),
    // or ETIMEDOUT when the process still lives after a bounded wait.
    int terminate(ProcessId process) override;

    // For a program Tarn started and has not collected, the serial number of
    // its start; for any other process the start time from /proc/PID/stat,
    // in clock ticks since boot (a zombie not yet collected has its own).
    std::uint64_t identity(ProcessId process) override;

    ProcessId currentProcess() override;

    // The host's periodic hook: collects started programs that have ended.
    static void reapExited();
};

}  // namespace tarn::posix
