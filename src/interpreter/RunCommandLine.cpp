// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunCommandLine.h"

#include "Failure.h"

namespace tarn {

void CheckRunCommandLine(const std::string& psvCommandLine) {
    if (psvCommandLine.find('\0') != std::string::npos ||
        psvCommandLine.find_first_not_of(" \t\r\n") == std::string::npos) {
        throw runtimeFailure(kInvalidArgument);
    }
}

}  // namespace tarn
