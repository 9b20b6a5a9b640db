#pragma once
// What the program was asked to do by its arguments. The command line of a run
// is the path of one macro file; --help and --version are the usual courtesies
// of a Linux program and, like --check, never reach the player window. --batch
// and --trace PATH, before the path, are for runs nobody watches (schedulers,
// CI jobs).

#include <optional>
#include <string>
#include <vector>

namespace tarn {

struct CommandLine {
    enum class Action { Play, Help, Version, Check, Invalid };
    Action action = Action::Play;
    // Absent: no argument at all, interactive mode. Present, even when empty:
    // the command line as the player receives it, automatic mode.
    std::optional<std::string> macro;
    // For Check: the macro files to check.
    std::vector<std::string> files;
    // For Invalid: what was wrong, one line.
    std::string problem;
    // --batch: failures go to standard error instead of the "Retry ?" box.
    bool batch = false;
    // --trace PATH: the run's trace, also in automatic mode.
    std::optional<std::string> trace;
};

// argv[1..argc-1]. Several arguments are joined by single blanks, as a shell on
// the program's original platform handed an unquoted path with blanks over as
// one line; "--" ends the options so that a path may begin with "--".
CommandLine parseCommandLine(int argc, const char* const* argv);

const char* usageText();
const char* versionLine();

}  // namespace tarn
