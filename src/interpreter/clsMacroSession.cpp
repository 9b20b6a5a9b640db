// SPDX-License-Identifier: GPL-3.0-or-later
// Ending the session: log off, reboot, halt or power off.
#include "Failure.h"
#include "clsMacro.h"

namespace tarn {

bool clsMacro::ShutDownWindows(std::int16_t piOptions, bool pbForce) {
    if (piOptions < 1 || piOptions > 4) {
        throw Failure(kInvalidExitOption,
                      "An invalid parameter was passed to the macro intrepreter's ExitWindows "
                      "command",
                      ".ExitWindows");
    }
    // Logind checks the caller's rights itself: there is no privilege to enable
    // first for options 2 to 4.
    const int error = mPlatform.session.requestEnd(static_cast<SessionEnd>(piOptions), pbForce);
    if (error != 0) {
        throw Failure(kExitWindowsRefused, "ExitWindows Error " + std::to_string(error),
                      ".ExitWindows");
    }
    if (ShuttingDown) ShuttingDown();
    return true;
}

}  // namespace tarn
