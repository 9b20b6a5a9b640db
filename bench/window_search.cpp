// SPDX-License-Identifier: GPL-3.0-or-later
// One window-title search as a macro makes it (GetWindowID with method 2,
// case-insensitive, visible windows only) on the display in $DISPLAY, or on
// the Wayland display in $WAYLAND_DISPLAY when that is set: every window's
// title and state read over Tarn's own connection, then the first match taken. The title searched
// for is $TARN_SEARCH_TITLE; window_search.py puts it on the bottom-most window so that every
// window is looked at.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "Host.h"
#include "ToplevelWindowSystem.h"
#include "XcbWindowSystem.h"
#include "modMacro.h"

namespace {

void BM_FindBottomMostWindow(benchmark::State& state) {
    const char* title = std::getenv("TARN_SEARCH_TITLE");
    tarn::PlainHost host;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    std::unique_ptr<tarn::WindowSystem> windows;
    if (wayland && *wayland) {
        windows = tarn::wayland::ToplevelWindowSystem::connect(host);
    } else {
        windows = tarn::x11::XcbWindowSystem::connect(host);
    }
    if (!windows || !title) {
        state.SkipWithError("needs DISPLAY and TARN_SEARCH_TITLE");
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
BENCHMARK(BM_FindBottomMostWindow)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
