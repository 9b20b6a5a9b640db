#include "CommandLine.h"

#include <cstring>

namespace tarn {

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine result;
    int first = 1;
    if (argc > 1) {
        const char* arg = argv[1];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            result.action = CommandLine::Action::Help;
            return result;
        }
        if (std::strcmp(arg, "--version") == 0) {
            result.action = CommandLine::Action::Version;
            return result;
        }
        if (std::strcmp(arg, "--check") == 0) {
            result.action = argc > 2 ? CommandLine::Action::Check : CommandLine::Action::Invalid;
            result.files.assign(argv + 2, argv + argc);
            result.problem = "--check needs at least one macro file";
            return result;
        }
        if (std::strcmp(arg, "--") == 0) {
            first = 2;
        } else if (std::strncmp(arg, "--", 2) == 0) {
            result.action = CommandLine::Action::Invalid;
            result.problem = std::string("unknown option ") + arg;
            return result;
        }
    }
    if (first >= argc) return result;
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
           "       tarn --check MACRO-FILE...\n"
           "Plays Tarn macros (.mcr files) against the windows of an X11 desktop.\n"
           "\n"
           "Without a file, shows the player window, where a macro is chosen, started,\n"
           "stopped and traced to TarnTrace.txt.\n"
           "With a file, runs that macro once without showing a window (an icon in the\n"
           "notification area stands for it) and ends. The exit status is 0 when the\n"
           "macro ran to its end or was stopped, and 1 when it failed and the failure\n"
           "was not retried.\n"
           "\n"
           "  -h, --help     show this help and exit\n"
           "      --check    check the files without running them or needing a display:\n"
           "                 one line FILE:LINE:COLUMN: error NUMBER: TEXT per finding;\n"
           "                 exit status 0 clean, 1 findings, 2 a file could not be read\n"
           "      --version  show the version and exit\n"
           "      --         end of options: the next arguments are the file's path\n";
}

const char* versionLine() {
    return "Tarn " TARN_VERSION "\n";
}

}  // namespace tarn
