// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The handing over between the tarn program and its windows. The windows (the
// player, the editor, help, and the widget toolkit under them) are a module
// the program loads only when it shows one: a batch run or a check never
// loads the toolkit's graphical libraries, which are most of what starting
// them would cost. The module resolves the interpreter, the platform and the
// run control against the program itself, so there is one copy of each.

#include <functional>

#include "BatchRun.h"
#include "CommandLine.h"

namespace tarn {

class LinuxPlatform;

struct WindowsStart {
    // For the toolkit: the program's name alone, none of the macro's arguments.
    int* qtArgc = nullptr;
    char** qtArgv = nullptr;
    LinuxPlatform* platform = nullptr;
    const CommandLine* commandLine = nullptr;
    const UnattendedOptions* unattended = nullptr;
    // The end of the program, called while the toolkit is still up, with the
    // status and whether the toolkit uses a Wayland display; returns the
    // status to exit with.
    std::function<int(int status, bool waylandToolkit)> finish;
};

// The module's one entry: it runs the player or the editor and returns the
// exit status that finish gave.
using WindowsMain = int (*)(const WindowsStart&);
inline constexpr char kWindowsMainSymbol[] = "tarn_windows_main";
// The module's build, a string the program compares with its own.
inline constexpr char kWindowsBuildSymbol[] = "tarn_windows_build";

}  // namespace tarn
