// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program was asked to do by its arguments, read by the conventions
// of a Linux program: options may come anywhere before "--", which ends them;
// an argument that starts with "-" and is no option is a usage error, never a
// macro path; "--name=value" and "--name value" are the same. The options
// are one table in CommandLine.cpp, one row each.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarn {

struct CommandLine {
    enum class Action { Play, Edit, Help, Version, Check, Stop, Invalid };
    Action action = Action::Play;
    // Play: absent for no macro at all (interactive mode); present, even when
    // empty, for the command line as the player receives it (automatic mode).
    // Edit: the file to open in the editor; absent: the player window alone.
    std::optional<std::string> macro;
    // Check: the macro files to check ("-": standard input).
    std::vector<std::string> files;
    // Invalid: what was wrong, one line.
    std::string problem;
    // --batch: failures go to standard error instead of the "Retry ?" box.
    bool batch = false;
    // -v: every line of the run's trace is also written to standard error.
    bool verbose = false;
    // --trace PATH: the run's trace, also in automatic mode.
    std::optional<std::string> trace;
};

// Whether a path names something that can be opened; by default the file system.
using PathExists = std::function<bool(const std::string&)>;

// argv[1..argc-1]. Several words where one macro path belongs are joined by
// single blanks when the result names an existing file (a path with blanks
// given without quotes, as a shell on the program's original platform handed
// it over); otherwise they are a usage error.
CommandLine parseCommandLine(int argc, const char* const* argv, const PathExists& exists = {});

const char* usageText();
// "Tarn VERSION" and the licence, one line each.
std::string versionAndLicence();

}  // namespace tarn
