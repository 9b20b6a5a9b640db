// SPDX-License-Identifier: GPL-3.0-or-later
// Statements per second of the run loop over a long macro of assignments,
// comments and Send statements, against the fakes with a yield that does
// nothing. Peak memory is reported so that runs over files of different
// lengths show it stays flat.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "FakePlatform.h"
#include "clsMacro.h"

namespace {

// Types nothing and keeps nothing, so memory reflects the interpreter alone.
class NullKeyboard : public tarn::Keyboard {
  public:
    void type(const tarn::KeySequence& keys) override { benchmark::DoNotOptimize(keys.size()); }
};

std::string writeMacro(long lines) {
    const std::string path =
        "/tmp/tarn-bench-" + std::to_string(::getpid()) + "-" + std::to_string(lines) + ".mcr";
    std::ofstream out(path, std::ios::binary);
    for (long i = 0; i < lines; ++i) {
        switch (i % 5) {
            case 0:
                out << "Rem step " << i << "\r\n";
                break;
            case 1:
                out << "count" << (i % 50) << " = " << i << "\r\n";
                break;
            case 2:
                out << "name = \"Ann Smith\"\r\n";
                break;
            case 3:
                out << "Send name\r\n";
                break;
            default:
                out << "Send ^a{DEL}Hello, world~\r\n";
                break;
        }
    }
    return path;
}

long peakKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_RunMacro(benchmark::State& state) {
    const long lines = state.range(0);
    const std::string path = writeMacro(lines);
    tarn::fake::FakePlatform fakes;
    NullKeyboard keyboard;
    tarn::Platform platform = fakes.platform();
    tarn::Platform quiet{platform.windows,   keyboard,         platform.processes,
                         platform.documents, platform.session, platform.host};
    tarn::clsMacro macro(quiet);
    long reported = 0;
    macro.DataInQueue = [&](const std::string& line) { reported += !line.empty(); };
    for (auto _ : state)
        macro.RunMacro(path);
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations() * lines);
    state.counters["statements/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * lines), benchmark::Counter::kIsRate);
    state.counters["peak_rss_kB"] = static_cast<double>(peakKilobytes());
    benchmark::DoNotOptimize(reported);
}
BENCHMARK(BM_RunMacro)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
