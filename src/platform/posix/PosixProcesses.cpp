// SPDX-License-Identifier: GPL-3.0-or-later
#include "PosixProcesses.h"

#include <signal.h>
#include <unistd.h>

#include <time.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Failure.h"
#include "PosixCommandLine.h"
#include "PosixSpawn.h"

namespace tarn::posix {

namespace {

// How long terminate() waits for the process to end after SIGKILL: the kernel
// accepting the signal is no proof, as a process held at its exit by a
// debugger or stuck in the kernel survives it, and the macro must not hang on
// such a process either.
constexpr int kKillConfirmMilliseconds = 2000;

// Marks an identity made of a child's serial number; start times in clock
// ticks since boot never reach it.
constexpr std::uint64_t kChildIdentity = std::uint64_t(1) << 63;

std::int32_t failureForSpawnError(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return kFileNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
            return kPermissionDenied;
        case ENOMEM:
        case EAGAIN:
            return kOutOfMemory;
        case ENOEXEC:
        case E2BIG:
        case EINVAL:
            return kInvalidArgument;
        default:
            return kPathFileAccessError;
    }
}

// The fields of /proc/PID/stat after the command name, from the state on;
// empty when there is no such process.
std::vector<std::string> statFields(ProcessId process) {
    std::ifstream stat("/proc/" + std::to_string(process) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return {};
    // The command name in parentheses may itself hold spaces and ')'.
    const auto close = line.rfind(')');
    if (close == std::string::npos) return {};
    std::istringstream rest(line.substr(close + 1));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields;
}

// The state letter ('Z' for a zombie), or 0 when unknown.
char processState(ProcessId process) {
    const std::vector<std::string> fields = statFields(process);
    return fields.empty() || fields.front().empty() ? 0 : fields.front().front();
}

// IDs that must never reach kill(): 0 and negative IDs name process groups
// (-1 is every process the user may signal), and Tarn may not end itself.
int refusal(ProcessId process) {
    if (process <= 0) return ESRCH;
    if (process == getpid()) return EPERM;
    return 0;
}

}  // namespace

ProcessId PosixProcesses::start(const std::string& commandLine) {
    // A NUL would silently cut an argument short.
    if (commandLine.find('\0') != std::string::npos) throw runtimeFailure(kInvalidArgument);
    const std::vector<std::string> words = splitCommandLine(commandLine);
    if (words.empty()) throw runtimeFailure(kInvalidArgument);
    if (words.front().empty()) throw runtimeFailure(kFileNotFound);
    const SpawnResult started = spawnProgram(words);
    if (started.error != 0) throw runtimeFailure(failureForSpawnError(started.error));
    return static_cast<ProcessId>(started.pid);
}

int PosixProcesses::open(ProcessId process) {
    if (const int refused = refusal(process)) return refused;
    reapExitedChildren();
    if (kill(process, 0) != 0) return errno;
    // A zombie has already ended; ending it again would report a success that
    // changes nothing.
    if (processState(process) == 'Z') return ESRCH;
    return 0;
}

int PosixProcesses::terminate(ProcessId process) {
    if (const int refused = refusal(process)) return refused;
    if (kill(process, SIGKILL) != 0) return errno;
    if (isRecordedChild(process))
        return reapChild(process, kKillConfirmMilliseconds) ? 0 : ETIMEDOUT;
    // Another's process has ended once it is gone or a zombie left for its
    // parent to collect.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kKillConfirmMilliseconds);
    for (;;) {
        const char state = processState(process);
        if (state == 0 || state == 'Z' || state == 'X') return 0;
        if (std::chrono::steady_clock::now() >= deadline) return ETIMEDOUT;
        const timespec pause{0, 2 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

std::uint64_t PosixProcesses::identity(ProcessId process) {
    if (process <= 0) return 0;
    // A program Tarn started is told by the serial number of its start: two
    // processes can start in the same clock tick, and a program that ends at
    // once may have its number given again within that tick.
    if (const std::uint64_t serial = childSerial(process)) return kChildIdentity | serial;
    // The start time is field 22 of the line, the 20th after the name.
    constexpr std::size_t kStartTime = 22 - 3;
    const std::vector<std::string> fields = statFields(process);
    if (fields.size() <= kStartTime) return 0;
    return std::strtoull(fields[kStartTime].c_str(), nullptr, 10);
}

ProcessId PosixProcesses::currentProcess() {
    return static_cast<ProcessId>(getpid());
}

void PosixProcesses::reapExited() {
    reapExitedChildren();
}

}  // namespace tarn::posix
