#include "CommandLine.h"

#include <cstring>

namespace tarn {

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine result;
    auto invalid = [&](std::string problem) {
        result.action = CommandLine::Action::Invalid;
        result.problem = std::move(problem);
        return result;
    };
    int first = 1;
    for (; first < argc && (std::strncmp(argv[first], "--", 2) == 0 ||
                            (first == 1 && std::strcmp(argv[first], "-h") == 0));
         ++first) {
        const char* arg = argv[first];
        if (first == 1 && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
            result.action = CommandLine::Action::Help;
            return result;
        }
        if (first == 1 && std::strcmp(arg, "--version") == 0) {
            result.action = CommandLine::Action::Version;
            return result;
        }
        if (first == 1 && std::strcmp(arg, "--check") == 0) {
            result.action = argc > 2 ? CommandLine::Action::Check : CommandLine::Action::Invalid;
            result.files.assign(argv + 2, argv + argc);
            result.problem = "--check needs at least one macro file";
            return result;
        }
        if (std::strcmp(arg, "--batch") == 0) {
            result.batch = true;
        } else if (std::strcmp(arg, "--trace") == 0 && first + 1 < argc && *argv[first + 1]) {
            result.trace = argv[++first];
        } else if (std::strcmp(arg, "--trace") == 0) {
            return invalid("--trace needs the path of the trace file");
        } else if (std::strcmp(arg, "--") == 0) {
            ++first;
            break;
        } else {
            return invalid(std::string("unknown option ") + arg);
        }
    }
    if (first >= argc) {
        if (result.batch || result.trace) return invalid("--batch and --trace need a macro file");
        return result;
    }
    std::string line;
    for (int i = first; i < argc; ++i) {
        if (i > first) line += ' ';
        line += argv[i];
    }
    result.macro = std::move(line);
    return result;
}

const char* usageText() {
    return "Usage: tarn [MACRO-FILE]\n"
           "       tarn [--batch] [--trace PATH] MACRO-FILE\n"
           "       tarn --check MACRO-FILE...\n"
           "Plays Tarn macros (.mcr files) against the windows of an X11 desktop or of\n"
           "a wlroots Wayland desktop such as sway (TARN_BACKEND=x11|wayland chooses).\n"
           "\n"
           "Without a file, shows the player window, where a macro is chosen, started,\n"
           "stopped and traced to TarnTrace.txt.\n"
           "With a file, runs that macro once without showing a window (an icon in the\n"
           "notification area stands for it) and ends. The exit status is 0 when the\n"
           "macro ran to its end or was stopped, and 1 when it failed and the failure\n"
           "was not retried.\n"
           "\n"
           "While a macro runs, the Pause (Break) key stops it, whatever window has the\n"
           "focus: the emergency stop.\n"
           "\n"
           "  -h, --help     show this help and exit\n"
           "      --check    check the files without running them or needing a display:\n"
           "                 one line FILE:LINE:COLUMN: error NUMBER: TEXT per finding;\n"
           "                 exit status 0 clean, 1 findings, 2 a file could not be read\n"
           "      --version  show the version and exit\n"
           "      --batch    for runs nobody watches: a failure shows no \"Retry ?\" box;\n"
           "                 one line FILE:LINE: Error NUMBER - description (source) goes\n"
           "                 to standard error and the exit status is 1; stopped by\n"
           "                 the Pause key, the exit status is 130\n"
           "      --trace PATH  write the run's trace (the lines carried out and the\n"
           "                 failures, as in TarnTrace.txt) to PATH\n"
           "      --         end of options: the next arguments are the file's path\n";
}

const char* versionLine() {
    return "Tarn " TARN_VERSION "\n";
}

}  // namespace tarn
