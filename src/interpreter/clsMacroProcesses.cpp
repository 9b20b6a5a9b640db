// SPDX-License-Identifier: GPL-3.0-or-later
// Starting programs and documents and ending processes.
#include <cerrno>

#include "Failure.h"
#include "RunCommandLine.h"
#include "clsMacro.h"

namespace tarn {
namespace {

const char* executeMessage(int code) {
    switch (code) {
        case 0:
            return "Out of memory or resources";
        case 2:
            return "File not found";
        case 3:
            return "Path not found";
        case 11:
            return "Invalid executable format";
        case 31:
            return "No association found for fileName";
        default:
            return "No error message available";
    }
}

}  // namespace

std::int32_t clsMacro::Run(const std::string& psvData) {
    return withSource("Run", [&] {
        CheckRunCommandLine(psvData);
        const ProcessId started = mPlatform.processes.start(psvData);
        NoteProcessIdentity(started);
        return started;
    });
}

std::int32_t clsMacro::RunExecute(const std::string& psvOperation, const std::string& psvFileName,
                                  const std::string& psvParameters, const std::string& psvStartDir,
                                  std::int32_t plShowCmd) {
    const int code = mPlatform.documents.execute(mlhWnd, psvOperation, psvFileName, psvParameters,
                                                 psvStartDir, plShowCmd);
    if (code > 32) return 0;
    throw Failure(kInvalidArgument,
                  std::string(runtimeDescription(kInvalidArgument)) +
                      " - RunExecute error number " + std::to_string(code) + " - " +
                      executeMessage(code),
                  ".RunExecute");
}

void clsMacro::NoteProcessIdentity(ProcessId plProcessID) {
    if (plProcessID > 0)
        mProcessIdentities[plProcessID] = mPlatform.processes.identity(plProcessID);
}

int clsMacro::ProcessRefusal(ProcessId plProcessID) {
    // IDs of 0 and below would signal whole process groups, and neither Tarn
    // nor the display it works on may be ended by a macro.
    if (plProcessID <= 0) return ESRCH;
    if (plProcessID == mPlatform.processes.currentProcess() ||
        plProcessID == mPlatform.windows.serverProcess())
        return EPERM;
    // A program Run started that has ended (and that Tarn collected), or a
    // window's client that has gone, leaves its number free for another
    // process: the macro's PID then names a process that no longer exists.
    const auto noted = mProcessIdentities.find(plProcessID);
    if (noted != mProcessIdentities.end() && noted->second != 0 &&
        mPlatform.processes.identity(plProcessID) != noted->second)
        return ESRCH;
    return 0;
}

void clsMacro::GetAdjustedProcessHandle(ProcessId plProcessID) {
    int error = ProcessRefusal(plProcessID);
    if (error == 0) error = mPlatform.processes.open(plProcessID);
    if (error != 0) {
        throw Failure(kOpenProcessFailed, "OpenProcess Error " + std::to_string(error),
                      ".GetAdjustedProcessHandle");
    }
}

void clsMacro::KillProcess(std::int32_t plProcessID) {
    GetAdjustedProcessHandle(plProcessID);
    if (mPlatform.processes.terminate(plProcessID) != 0) {
        throw Failure(kTerminateProcessFailed, "TerminateProcess Error 1009", ".KillProcess");
    }
}

}  // namespace tarn
