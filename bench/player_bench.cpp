// SPDX-License-Identifier: GPL-3.0-or-later
// The player's run control on the real Qt host (offscreen, interpreter over
// the fakes):
//   StopEndsWait  - from the moment a Stop click is posted to the GUI thread
//                   (from another thread, as an event from the display arrives
//                   while the Wait sleeps on the event loop) to the end of the
//                   run; manual time, one Stop per iteration.
//   WaitCpu       - processor time of the whole process over a `Wait 2`, as a
//                   percentage of one core (counter cpu_percent).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QToolButton>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "FakePlatform.h"
#include "QtHost.h"
#include "frmTarn.h"

namespace {

using Clock = std::chrono::steady_clock;

// The benchmark's macros and trace, in a folder removed when the program ends.
class Scratch {
  public:
    Scratch() {
        char pattern[] = "/tmp/tarn-player-bench-XXXXXX";
        folder_ = ::mkdtemp(pattern) ? pattern : "/tmp";
    }
    ~Scratch() {
        if (folder_ != "/tmp") std::filesystem::remove_all(folder_);
    }
    const std::string& folder() const { return folder_; }

  private:
    std::string folder_;
};

std::string writeMacro(const std::string& name, const std::string& bytes) {
    static const Scratch scratch;
    const std::string path = scratch.folder() + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Player {
    tarn::fake::FakePlatform fake;
    tarn::QtHost host;
    tarn::frmTarn form{tarn::Platform{fake.windows, fake.keyboard, fake.processes, fake.documents,
                                      fake.session, host},
                       std::nullopt};
    Player() {
        form.setTraceFilePath(QString::fromStdString(writeMacro("trace.txt", "")));
        form.setQuestionHook([](QWidget*, const QString&, const QString&) { return false; });
        form.Form_Load();
    }
    void run(const std::string& macro) {
        form.findChild<QLineEdit*>("txtMacroFile")->setText(QString::fromStdString(macro));
        form.findChild<QToolButton*>("cmdGo")->click();
    }
};

void StopEndsWait(benchmark::State& state) {
    Player player;
    const std::string macro = writeMacro("wait30.mcr", "Wait 30\r\n");
    QToolButton* stop = player.form.findChild<QToolButton*>("cmdStop");
    for (auto _ : state) {
        Clock::time_point pressed;
        std::thread presser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            pressed = Clock::now();
            QMetaObject::invokeMethod(
                stop, [stop] { stop->click(); }, Qt::QueuedConnection);
        });
        player.run(macro);
        const Clock::time_point ended = Clock::now();
        presser.join();
        state.SetIterationTime(std::chrono::duration<double>(ended - pressed).count());
    }
}
BENCHMARK(StopEndsWait)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

void WaitCpu(benchmark::State& state) {
    Player player;
    const std::string macro = writeMacro("wait2.mcr", "Wait 2\r\n");
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpuBefore = cpuSeconds();
        const Clock::time_point before = Clock::now();
        player.run(macro);
        wall += std::chrono::duration<double>(Clock::now() - before).count();
        cpu += cpuSeconds() - cpuBefore;
    }
    state.counters["cpu_percent"] = 100.0 * cpu / wall;
}
BENCHMARK(WaitCpu)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
