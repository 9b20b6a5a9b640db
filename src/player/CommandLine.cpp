// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "ProgramInfo.h"
#include "modGlobal.h"

namespace tarn {

namespace {

using Action = CommandLine::Action;

// One row per option. An option either chooses what the program does (action),
// sets a switch (flag) or takes a value (value); exactly one of the three is set.
struct Option {
    const char* name;  // without the leading "--"
    char shortName;    // 0: none
    Action action;     // Action::Play: the option chooses no action
    bool CommandLine::*flag;
    std::optional<std::string> CommandLine::*value;
};

constexpr Option kOptions[] = {
    {"help", 'h', Action::Help, nullptr, nullptr},
    {"version", 'V', Action::Version, nullptr, nullptr},
    {"check", 0, Action::Check, nullptr, nullptr},
    {"edit", 0, Action::Edit, nullptr, nullptr},
    {"stop", 0, Action::Stop, nullptr, nullptr},
    {"batch", 0, Action::Play, &CommandLine::batch, nullptr},
    {"verbose", 'v', Action::Play, &CommandLine::verbose, nullptr},
    {"trace", 0, Action::Play, nullptr, &CommandLine::trace},
};

const Option* findOption(const std::string& psvArg, std::string& psvName,
                         std::optional<std::string>& psvInlineValue) {
    if (psvArg.size() == 2 && psvArg[0] == '-' && psvArg[1] != '-') {
        psvName = psvArg;
        for (const Option& option : kOptions)
            if (option.shortName && option.shortName == psvArg[1]) return &option;
        return nullptr;
    }
    const std::size_t equals = psvArg.find('=');
    psvName = psvArg.substr(0, equals);
    if (equals != std::string::npos) psvInlineValue = psvArg.substr(equals + 1);
    if (psvName.rfind("--", 0) != 0) return nullptr;
    for (const Option& option : kOptions)
        if (psvName.compare(2, std::string::npos, option.name) == 0) return &option;
    return nullptr;
}

bool fileExists(const std::string& psvPath) {
    struct stat info {};
    return ::stat(psvPath.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// "-hV" is "-h -V", as getopt reads it; a word with any letter that is no
// short option stays whole, so that it is refused as it was written.
std::vector<std::string> unbundled(int argc, const char* const* argv) {
    std::vector<std::string> args;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        optionsEnded = optionsEnded || arg == "--";
        // The value of "--trace PATH" is a path, whatever it looks like.
        const auto takesNext = [&arg](const Option& option) {
            return option.value && arg == std::string("--") + option.name;
        };
        if (!optionsEnded && i + 1 < argc &&
            std::any_of(std::begin(kOptions), std::end(kOptions), takesNext)) {
            args.push_back(arg);
            args.push_back(argv[++i]);
            continue;
        }
        const bool bundle = !optionsEnded && arg.size() > 2 && arg[0] == '-' && arg[1] != '-';
        const auto known = [](char letter) {
            for (const Option& option : kOptions)
                if (option.shortName == letter && !option.value) return true;
            return false;
        };
        if (!bundle || !std::all_of(arg.begin() + 1, arg.end(), known)) {
            args.push_back(arg);
            continue;
        }
        for (std::size_t letter = 1; letter < arg.size(); ++letter)
            args.push_back(std::string{'-', arg[letter]});
    }
    return args;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv, const PathExists& exists) {
    const std::vector<std::string> args = unbundled(argc, argv);
    CommandLine result;
    auto invalid = [&](std::string problem) {
        CommandLine refused;
        refused.action = Action::Invalid;
        refused.problem = std::move(problem);
        return refused;
    };
    std::vector<std::string> operands;
    std::string chosenBy;  // the option that chose the action
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // "-" names standard input, an operand as any path is.
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name;
        std::optional<std::string> value;
        const Option* option = findOption(arg, name, value);
        if (!option) return invalid("unknown option " + name);
        if (option->value) {
            if (!value && i + 1 < args.size()) value = args[++i];
            if (!value || value->empty()) return invalid(name + " needs a value");
            result.*(option->value) = *value;
            continue;
        }
        if (value) return invalid(name + " takes no value");
        if (option->flag) {
            result.*(option->flag) = true;
        } else if (result.action != option->action) {
            // --help, then --version, win over whatever else is asked.
            const auto courtesy = [](Action action) {
                return action == Action::Help ? 2 : action == Action::Version ? 1 : 0;
            };
            if (courtesy(option->action) || courtesy(result.action)) {
                if (courtesy(option->action) > courtesy(result.action))
                    result.action = option->action;
                continue;
            }
            if (!chosenBy.empty())
                return invalid(chosenBy + " and " + name + " cannot be used together");
            chosenBy = name;
            result.action = option->action;
        }
    }

    // What the action does with the operands and the switches.
    const bool runOptions = result.batch || result.verbose || result.trace.has_value();
    switch (result.action) {
        case Action::Help:
        case Action::Version:
            return result;
        case Action::Check:
            if (runOptions) return invalid("--batch, --trace and -v are for running a macro");
            if (operands.empty()) return invalid("--check needs at least one macro file");
            result.files = std::move(operands);
            return result;
        case Action::Stop:
            if (runOptions || !operands.empty()) return invalid("--stop takes no other argument");
            return result;
        case Action::Edit:
            if (runOptions) return invalid("--batch, --trace and -v are for running a macro");
            // Without a file (the applications menu starts it so) the player
            // window: where every macro is chosen, started or opened to edit.
            if (operands.empty()) return result;
            if (operands.size() == 1 && operands[0] == "-" && !optionsEnded)
                return invalid("the editor opens files, not standard input");
            break;
        case Action::Play:
            if (operands.empty()) {
                if (runOptions) return invalid("--batch, --trace and -v need a macro file");
                return result;
            }
            break;
        case Action::Invalid:
            return result;
    }
    if (operands.size() == 1) {
        // Standard input can be run only where a failure is not retried: a
        // retried run reads the macro again from its first line.
        if (operands[0] == "-" && !optionsEnded && !result.batch)
            return invalid("a macro is read from standard input only by --check and --batch");
        result.macro = operands[0];
        return result;
    }
    std::string joined;
    for (const std::string& word : operands)
        joined += (joined.empty() ? "" : " ") + word;
    const PathExists& test = exists ? exists : PathExists(fileExists);
    if (!test(StripQuotes(joined))) return invalid("one macro file at a time");
    result.macro = std::move(joined);
    return result;
}

const char* usageText() {
    return "Usage: tarn [MACRO-FILE]\n"
           "       tarn [--batch] [--trace PATH] [-v] MACRO-FILE\n"
           "       tarn --batch [--trace PATH] [-v] -\n"
           "       tarn --edit [MACRO-FILE]\n"
           "       tarn --check MACRO-FILE...\n"
           "       tarn --stop\n"
           "Plays Tarn macros (.mcr files) against the windows of an X11 desktop, of a\n"
           "wlroots Wayland desktop such as sway, of KDE Plasma or of GNOME Shell (with\n"
           "Tarn's extension). When both WAYLAND_DISPLAY and\n"
           "DISPLAY are set, Wayland wins if its compositor offers what Tarn needs, else\n"
           "X11 (XWayland) with a notice; TARN_BACKEND=x11|wayland|kwin|gnome chooses\n"
           "instead.\n"
           "\n"
           "Without a file, shows the player window, where a macro is chosen, started,\n"
           "stopped and traced to TarnTrace.txt.\n"
           "With a file, runs that macro once without showing a window (an icon in the\n"
           "notification area stands for it) and ends.\n"
           "\n"
           "While a macro runs, the Pause (Break) key stops it, whatever window has the\n"
           "focus: the emergency stop. On Wayland, where no program may watch a key of\n"
           "its own, bind tarn --stop to a key in the compositor, for sway:\n"
           "  bindsym Pause exec tarn --stop\n"
           "A macro's own {BREAK} then goes to that binding and stops nothing.\n"
           "\n"
           "  -h, --help     show this help and exit\n"
           "  -V, --version  show the version and the licence and exit\n"
           "      --edit     open the file in the macro editor without running it (what\n"
           "                 opening a .mcr file from the file manager does); a file\n"
           "                 that does not exist yet is a new macro saved there; without\n"
           "                 a file, the player window\n"
           "      --check    check the files without running them or needing a display\n"
           "                 (\"-\" reads standard input): one line per finding,\n"
           "                 FILE:LINE:COLUMN: error: TEXT [NUMBER]\n"
           "      --stop     stop the macro runs of this user as the Pause key does\n"
           "      --batch    for runs nobody watches: a failure shows no \"Retry ?\" box\n"
           "                 but one line on standard error, as --check writes it, and\n"
           "                 no icon stands for the run; \"-\" runs the macro read from\n"
           "                 standard input\n"
           "      --trace PATH, --trace=PATH\n"
           "                 write the run's trace (the lines carried out and the\n"
           "                 failures, as in TarnTrace.txt) to PATH\n"
           "  -v, --verbose  write each line of the run's trace to standard error as\n"
           "                 the run goes\n"
           "      --         end of options: the next arguments are the file's path\n"
           "\n"
           "Exit status:\n"
           "  0    the macro ran to its end (or --check found nothing)\n"
           "  1    the macro failed and was not retried (or --check found something),\n"
           "       or the display closed during the run\n"
           "  2    the command line could not be used, a file could not be read\n"
           "       (--check) or the output could not be written\n"
           "  3    Tarn could not start: no desktop (X or Wayland display) to use\n"
           "  70   Tarn itself failed (out of memory, an internal error)\n"
           "  130  the run was stopped (the Pause key, tarn --stop, SIGINT, Close of\n"
           "       the notification-area icon)\n"
           "  143, 129  SIGTERM or SIGHUP stopped the run and ended Tarn (128 and\n"
           "       the signal's number; SIGQUIT, SIGUSR1, SIGUSR2 and SIGALRM alike)\n"
           "--stop: 0 when a run was stopped, 1 when none was running.\n"
           "Ctrl+Z (SIGTSTP, SIGTTIN, SIGTTOU) pauses a run: in a Send, Tarn first lets\n"
           "go every key it holds; continued (fg), the Send goes on where it was, or\n"
           "fails with 1012 when its window no longer has the focus.\n";
}

std::string versionAndLicence() {
    return std::string("Tarn " TARN_VERSION "\n") + kCopyrightNotice + '\n' + kLicenceNotice + '\n';
}

}  // namespace tarn
