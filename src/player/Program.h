// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program once its platform is in place: the player window in the mode
// the command line fixes, and the process's exit status.

#include <optional>
#include <string>

#include "BatchRun.h"
#include "Platform.h"
#include "frmTarn.h"

namespace tarn {

// Needs a QApplication. Interactive mode (no command line) shows the window
// and returns when the user has closed it (status 0). Automatic mode runs the
// macro hidden and returns when the run is over: 0 when the macro ran to its
// end, 130 when it was stopped, 1 when it ended in a failure that was answered No.
// poQuestion replaces the "Retry ?" message box when given.
int runPlayer(Platform poPlatform, std::optional<std::string> psvCommandLine,
              frmTarn::QuestionHook poQuestion = {});
// The same with what an unattended run adds.
int runPlayer(Platform poPlatform, std::optional<std::string> psvCommandLine,
              const UnattendedOptions& poOptions, frmTarn::QuestionHook poQuestion = {});

// The player window in interactive mode with psvFile in its file box and the
// macro editor open on it; nothing runs. Returns when the user has closed the
// player (status 0).
int runEditor(Platform poPlatform, const std::string& psvFile);

}  // namespace tarn
