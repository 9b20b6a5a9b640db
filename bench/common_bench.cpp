// SPDX-License-Identifier: GPL-3.0-or-later
// The costs of the shared services that a run or a window pays:
// - a trace record: one write() straight to the kernel per macro line, against
//   the same lines through a buffered stream that a kill could lose;
// - a settings read and write (each write is flushed to its INI file);
// - creating and showing the Help Topics window the first time.
// Runs offscreen, with the settings in a temporary folder.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>
#include <fstream>
#include <string>

#include "Help.h"
#include "Settings.h"
#include "TraceFile.h"

namespace {

QTemporaryDir* gFolder = nullptr;

const std::string kLine = "Send \"Hello, world{ENTER}\"   Rem a macro line of typical length";

void TraceAppendLine(benchmark::State& state) {
    tarn::TraceFile trace(gFolder->path() + "/TarnTrace.txt");
    trace.begin();
    for (auto _ : state)
        trace.appendLine(kLine);
    trace.end();
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLine.size() + 2));
}
BENCHMARK(TraceAppendLine);

// The same records through a buffered stream: what writing through costs.
void BufferedAppendLine(benchmark::State& state) {
    std::ofstream out((gFolder->path() + "/buffered.txt").toStdString(), std::ios::binary);
    for (auto _ : state)
        out << kLine << "\r\n";
    out.close();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BufferedAppendLine);

void TraceBegin(benchmark::State& state) {
    tarn::TraceFile trace(gFolder->path() + "/TarnTrace.txt");
    for (auto _ : state) {
        trace.begin();
        trace.appendLine(kLine);
    }
    trace.end();
}
BENCHMARK(TraceBegin);

void SaveSetting(benchmark::State& state) {
    int i = 0;
    for (auto _ : state)
        tarn::SaveSetting("Tarn", tarn::kSectionSettings, tarn::kKeyLeft,
                          tarn::numberText(static_cast<float>(++i)));
}
BENCHMARK(SaveSetting);

void ReadSingle(benchmark::State& state) {
    tarn::SaveSetting("Tarn", tarn::kSectionSettings, tarn::kKeyTop, "1234.5");
    for (auto _ : state)
        benchmark::DoNotOptimize(
            tarn::readSingle("Tarn", tarn::kSectionSettings, tarn::kKeyTop, 0.0f));
}
BENCHMARK(ReadSingle);

// The first F1 of a session: build the window, read contents and index, render
// the first page. Later calls only raise the window.
void HelpFirstOpen(benchmark::State& state) {
    for (auto _ : state) {
        tarn::showHelpTopics(nullptr);
        QApplication::processEvents();
        state.PauseTiming();
        delete tarn::helpTopicsWindow();
        state.ResumeTiming();
    }
}
BENCHMARK(HelpFirstOpen)->Unit(benchmark::kMillisecond);

void HelpAgain(benchmark::State& state) {
    tarn::showHelpTopics(nullptr);
    for (auto _ : state) {
        tarn::showHelpIndex(nullptr, "Send");
        tarn::showHelpTopics(nullptr);
        QApplication::processEvents();
    }
}
BENCHMARK(HelpAgain)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid()) return 1;
    gFolder = &folder;
    tarn::setSettingsFolder(folder.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
