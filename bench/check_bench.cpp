// SPDX-License-Identifier: GPL-3.0-or-later
// tarn --check over a long macro: the whole file read, classified and checked,
// as the command line does it (findings written to a discarded stream). The
// macro mixes every statement form, with a finding every thousand lines.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "MacroCheck.h"

namespace {

std::string writeMacro(long lines) {
    const std::string path = "/tmp/tarn-check-bench-" + std::to_string(::getpid()) + "-" +
                             std::to_string(lines) + ".mcr";
    std::ofstream out(path, std::ios::binary);
    for (long i = 0; i < lines; ++i) {
        switch (i % 10) {
            case 0:
                out << "Rem step " << i << "\r\n";
                break;
            case 1:
                out << "count" << (i % 90) << " = " << i << "\r\n";
                break;
            case 2:
                out << "w = GetWindowID \"Untitled - Editor\",1,False,True\r\n";
                break;
            case 3:
                out << "SetFocus \"Untitled, Editor\",1\r\n";
                break;
            case 4:
                out << "Send ^a{DEL}Hello, world~+(ab){LEFT 5}\r\n";
                break;
            case 5:
                out << "Wait 2\r\n";
                break;
            case 6:
                out << "RunExecute ,\"report, final.txt\",,,1\r\n";
                break;
            case 7:
                out << "Send count" << (i % 90) << "\r\n";
                break;
            case 8:
                out << (i % 1000 == 8 ? "Send {BOGUS}\r\n" : "TimeOut 10\r\n");
                break;
            default:
                out << "\r\n";
                break;
        }
    }
    return path;
}

void BM_CheckMacroFile(benchmark::State& state) {
    const std::string path = writeMacro(state.range(0));
    for (auto _ : state) {
        std::ostringstream out, err;
        benchmark::DoNotOptimize(tarn::CheckMacroFiles({path}, out, err));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::remove(path.c_str());
}
BENCHMARK(BM_CheckMacroFile)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
