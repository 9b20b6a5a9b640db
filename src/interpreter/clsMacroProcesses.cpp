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
        return mPlatform.processes.start(psvData);
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

bool clsMacro::IsWinNT() {
    return mPlatform.processes.isNtFamily();
}

void clsMacro::GetAdjustedProcessHandle(ProcessId plProcessID) {
    // IDs of 0 and below would signal whole process groups, and Tarn must not
    // end itself: neither reaches the platform.
    int error = 0;
    if (plProcessID <= 0) {
        error = ESRCH;
    } else if (plProcessID == mPlatform.processes.currentProcess()) {
        error = EPERM;
    } else {
        error = mPlatform.processes.open(plProcessID);
    }
    if (error != 0) {
        throw Failure(1008, "OpenProcess Error " + std::to_string(error),
                      ".GetAdjustedProcessHandle");
    }
}

void clsMacro::KillProcess(std::int32_t plProcessID) {
    if (IsWinNT()) {
        GetAdjustedProcessHandle(plProcessID);
    } else if (plProcessID <= 0 || plProcessID == mPlatform.processes.currentProcess() ||
               mPlatform.processes.open(plProcessID) != 0) {
        throw Failure(1008, "SetOpenProcess Error 1008", ".KillProcess");
    }
    if (mPlatform.processes.terminate(plProcessID) != 0) {
        throw Failure(1009, "TerminateProcess Error 1009", ".KillProcess");
    }
}

}  // namespace tarn
