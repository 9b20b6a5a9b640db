// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every command line that Run hands to the platform must be, so that a
// macro check and a run refuse the same lines.

#include <string>

namespace tarn {

// Throws the runtime failure 5 "Invalid procedure call or argument" for a
// command line that holds a NUL (which would cut an argument short where the
// program reads it) or nothing but blanks (no program to start).
void CheckRunCommandLine(const std::string& psvCommandLine);

}  // namespace tarn
