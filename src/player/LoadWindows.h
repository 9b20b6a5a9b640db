// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds and loads the windows' module of the running tarn program.

#include <string>

#include "WindowsStart.h"

namespace tarn {

// The module's entry, or nullptr with one line saying why in psvProblem (a
// missing file, or one that does not belong to this program).
WindowsMain loadWindows(std::string& psvProblem);

}  // namespace tarn
