// SPDX-License-Identifier: GPL-3.0-or-later
#include "LoadWindows.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <system_error>

namespace tarn {

namespace {

// The module's file, relative to the folder of the tarn executable: beside it
// (a build tree, a portable folder), else where the package installs it.
constexpr const char* kWindowsModulePaths[] = {"tarn-windows.so", TARN_INSTALLED_WINDOWS_MODULE};

}  // namespace

WindowsMain loadWindows(std::string& psvProblem) {
    // Beside the executable itself, links resolved: a copy run from a build
    // tree or a portable folder loads its own module, never an installed one.
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        psvProblem = "cannot find the tarn program's own file: " + error.message();
        return nullptr;
    }
    std::string path;
    std::filesystem::path tried;
    for (const char* candidate : kWindowsModulePaths) {
        tried = (self.parent_path() / candidate).lexically_normal();
        if (std::filesystem::exists(tried, error)) {
            path = tried;
            break;
        }
    }
    if (path.empty()) {
        // A copy of the program without its module beside it, most likely.
        psvProblem = "cannot load Tarn's windows: tarn-windows.so is neither beside " +
                     self.string() + " nor in " + tried.parent_path().string();
        return nullptr;
    }
    // Every symbol is bound now: a module from another build fails here with
    // the name of what it misses, not later in the middle of a run.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        psvProblem = std::string("cannot load Tarn's windows: ") + dlerror();
        return nullptr;
    }
    const auto* build = static_cast<const char*>(dlsym(module, kWindowsBuildSymbol));
    if (!build || std::strcmp(build, TARN_BUILD_TOKEN) != 0) {
        psvProblem = "cannot load Tarn's windows: " + path +
                     " belongs to another build of Tarn than " + self.string();
        return nullptr;
    }
    auto* entry = reinterpret_cast<WindowsMain>(dlsym(module, kWindowsMainSymbol));
    if (!entry) {
        psvProblem = "cannot load Tarn's windows: " + path + " has no " + kWindowsMainSymbol;
        return nullptr;
    }
    return entry;
}

}  // namespace tarn
