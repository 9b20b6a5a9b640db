// SPDX-License-Identifier: GPL-3.0-or-later
// One window-title search as a macro makes it (GetWindowID with method 2,
// case-insensitive, visible windows only) on the display in $DISPLAY, or on
// the Wayland display in $WAYLAND_DISPLAY when that is set, or with
// TARN_BACKEND=kwin through KWin's scripting, with TARN_BACKEND=gnome through
// Tarn's Shell extension: every window's title and state read over Tarn's
// own connection, then the first match taken. The title searched for is
// $TARN_SEARCH_TITLE; window_search.py puts it on the bottom-most window so
// that every window is looked at.
//
//   tarn_window_search_bench --count   prints how many windows Tarn lists
//                                      (window_search.py waits for them)

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "Host.h"
#include "KWinWindowSystem.h"
#include "ShellWindowSystem.h"
#include "ToplevelWindowSystem.h"
#include "XcbWindowSystem.h"
#include "modMacro.h"

namespace {

std::unique_ptr<tarn::WindowSystem> connect(tarn::Host& host) {
    const char* backend = std::getenv("TARN_BACKEND");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (backend && std::strcmp(backend, "kwin") == 0)
        return tarn::kwin::KWinWindowSystem::connect(host);
    if (backend && std::strcmp(backend, "gnome") == 0)
        return tarn::gnome::ShellWindowSystem::connect(host);
    if (wayland && *wayland) return tarn::wayland::ToplevelWindowSystem::connect(host);
    return tarn::x11::XcbWindowSystem::connect(host);
}

void BM_FindBottomMostWindow(benchmark::State& state) {
    const char* title = std::getenv("TARN_SEARCH_TITLE");
    tarn::PlainHost host;
    std::unique_ptr<tarn::WindowSystem> windows = connect(host);
    if (!windows || !title) {
        state.SkipWithError("needs a desktop and TARN_SEARCH_TITLE");
        return;
    }
    std::size_t listed = 0;
    tarn::WindowId found = 0;
    for (auto _ : state) {
        auto all = windows->topLevelWindows();
        found = tarn::FindFirstMatch(all, title, tarn::kMatches, false, true);
        listed = all.size();
        benchmark::DoNotOptimize(found);
    }
    if (found == 0) state.SkipWithError("the window was not found");
    state.counters["windows"] = static_cast<double>(listed);
}
// A search mostly waits on the desktop (the X server, or KWin and the Shell
// over D-Bus): a second of the wall clock, not of this process's processor
// time, which would take minutes of searches to fill.
BENCHMARK(BM_FindBottomMostWindow)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--count") == 0) {
        tarn::PlainHost host;
        std::unique_ptr<tarn::WindowSystem> windows = connect(host);
        if (!windows) return 1;
        std::printf("%zu\n", windows->topLevelWindows().size());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
