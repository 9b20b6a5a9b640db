// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <string>

#include "Types.h"

namespace tarn {

class Processes {
  public:
    virtual ~Processes() = default;

    // Starts the program of a command line (program and arguments, double quotes
    // grouping words; no shell) and returns its process ID at once. Throws the
    // runtime failures 53 "File not found" or 70 "Permission denied".
    virtual ProcessId start(const std::string& commandLine) = 0;

    // The open step of ending a process: 0 when the process exists and may be
    // ended, otherwise the platform's error code (errno).
    virtual int open(ProcessId process) = 0;
    // Ends the process: 0 once it has ended (confirmed within a short bounded
    // wait), otherwise the platform's error code.
    virtual int terminate(ProcessId process) = 0;

    // What tells the process that has the ID now from any later one given the
    // same ID once it has ended (its start time): a PID handed to a macro is
    // checked against it before the process is ended. 0 when no process has
    // the ID, or when the platform cannot tell.
    virtual std::uint64_t identity(ProcessId process) {
        (void)process;
        return 0;
    }

    // Tarn's own process, which a macro is never allowed to end.
    virtual ProcessId currentProcess() = 0;
};

}  // namespace tarn
