// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An unattended run's options, and batch mode: a run that shows no window and
// so needs no more of the toolkit than a QCoreApplication.

#include <functional>
#include <optional>
#include <string>

#include "MacroRun.h"
#include "Platform.h"

namespace tarn {

// What an unattended run adds (see MacroRun::setBatch and its neighbours).
struct UnattendedOptions {
    bool batch = false;
    bool verbose = false;
    std::optional<std::string> trace;
    StopKey* stopKey = nullptr;
    MacroRun::ReportHook report;  // empty: standard error
    // Called with the run control before the run starts (the run of
    // automatic mode happens inside the window's load).
    std::function<void(MacroRun&)> created;
};

// What every unattended run takes from its options, with or without a window.
void takeOptions(MacroRun& poRun, const UnattendedOptions& poOptions);

// Batch mode: the macro psvCommandLine names (in quotes or not; "-" for
// standard input) run once with poOptions.batch taken as set, without a
// window. Returns the status of an unattended run of the player: 0 when the
// macro ran to its end, 130 when it was stopped, 1 when it ended in a failure.
int runBatch(Platform poPlatform, const std::string& psvCommandLine,
             const UnattendedOptions& poOptions);

}  // namespace tarn
