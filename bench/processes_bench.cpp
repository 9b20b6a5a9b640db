// SPDX-License-Identifier: GPL-3.0-or-later
// What Run, RunExecute, KillProcess, the reap hook and ShutDownWindows cost.
//
//   build/bench/processes_bench --benchmark_min_time=0.5
//
// - SplitCommandLine: splitting a typical and a long quoted command line.
// - Run: PosixProcesses::start of /bin/true (until the PID is back), against
//   a bare posix_spawnp of the same program (no own session, no descriptor
//   closing, no signal reset): the price of the child's hygiene.
// - RunAndKill: Run of sleep, then KillProcess's open and terminate, the
//   program collected.
// - ReapHook/N: one pass of the host's reap hook while N started programs
//   are still running (the player calls it every 100 ms).
// - RunExecute: a program file run directly, and a document opened through
//   GIO's content type and desktop entry (a temporary XDG tree, the program
//   a shell script that exits at once).
// - RequestEnd: one PowerOff request to python-dbusmock's logind on a private
//   bus, connection included (built when the test fixture is).

#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "GioDocuments.h"
#include "PosixCommandLine.h"
#include "PosixProcesses.h"
#include "PosixSpawn.h"
#ifdef TARN_BENCH_LOGIND
#include "LogindSession.h"
#include "MockLogind.h"
#endif

extern char** environ;

namespace {

std::string gRoot;

void write(const std::string& path, const std::string& text, mode_t mode = 0644) {
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
}

void waitGone(pid_t pid) {
    tarn::posix::reapChild(pid, 5000);
}

void SplitCommandLine(benchmark::State& state) {
    const std::string line =
        state.range(0) == 0
            ? "notepad.exe C:\\work\\notes.txt"
            : "\"/opt/some program/bin/run tool\" --title=\"a long title with spaces\" "
              "\"say \"\"hi\"\"\" ; $(not run) | neither `this` -x -y -z file1 file2 file3";
    for (auto _ : state)
        benchmark::DoNotOptimize(tarn::posix::splitCommandLine(line));
}
BENCHMARK(SplitCommandLine)->Arg(0)->Arg(1);

void Run(benchmark::State& state) {
    tarn::posix::PosixProcesses processes;
    for (auto _ : state) {
        const pid_t pid = processes.start("/bin/true");
        state.PauseTiming();
        waitGone(pid);
        state.ResumeTiming();
    }
}
BENCHMARK(Run)->Unit(benchmark::kMicrosecond);

void BarePosixSpawn(benchmark::State& state) {
    char program[] = "/bin/true";
    char* argv[] = {program, nullptr};
    for (auto _ : state) {
        pid_t pid = 0;
        posix_spawnp(&pid, program, nullptr, nullptr, argv, environ);
        state.PauseTiming();
        waitpid(pid, nullptr, 0);
        state.ResumeTiming();
    }
}
BENCHMARK(BarePosixSpawn)->Unit(benchmark::kMicrosecond);

void RunAndKill(benchmark::State& state) {
    tarn::posix::PosixProcesses processes;
    for (auto _ : state) {
        const pid_t pid = processes.start("sleep 30");
        if (processes.open(pid) != 0 || processes.terminate(pid) != 0)
            state.SkipWithError("KillProcess failed");
    }
}
BENCHMARK(RunAndKill)->Unit(benchmark::kMicrosecond);

void ReapHook(benchmark::State& state) {
    tarn::posix::PosixProcesses processes;
    std::vector<pid_t> running;
    for (int i = 0; i < state.range(0); ++i)
        running.push_back(processes.start("sleep 60"));
    for (auto _ : state)
        tarn::posix::PosixProcesses::reapExited();
    for (pid_t pid : running)
        processes.terminate(pid);
}
BENCHMARK(ReapHook)->Arg(0)->Arg(10)->Arg(100);

void RunExecuteProgramFile(benchmark::State& state) {
    tarn::gio::GioDocuments documents;
    const std::string tool = gRoot + "/tool.sh";
    for (auto _ : state) {
        if (documents.execute(0, "open", tool, "a b", gRoot, 1) != 42)
            state.SkipWithError("not started");
        state.PauseTiming();
        tarn::posix::reapExitedChildren();
        state.ResumeTiming();
    }
    waitpid(-1, nullptr, WNOHANG);
}
BENCHMARK(RunExecuteProgramFile)->Unit(benchmark::kMicrosecond);

void RunExecuteDocument(benchmark::State& state) {
    tarn::gio::GioDocuments documents;
    const std::string document = gRoot + "/docs/report.tarnbench";
    for (auto _ : state)
        if (documents.execute(0, "open", document, {}, gRoot, 1) != 42)
            state.SkipWithError("not opened");
}
BENCHMARK(RunExecuteDocument)->Unit(benchmark::kMicrosecond);

#ifdef TARN_BENCH_LOGIND
void RequestEnd(benchmark::State& state) {
    tarn::platformtest::MockLogind logind;
    logind.addMethodsWithFlags();
    logind.guard();
    tarn::gio::LogindSession session;
    for (auto _ : state)
        if (session.requestEnd(tarn::SessionEnd::PowerOff, false) != 0)
            state.SkipWithError("refused");
}
BENCHMARK(RequestEnd)->Unit(benchmark::kMicrosecond);
#endif

// A private XDG tree with one MIME type and one program for it, set before
// GIO reads anything.
void makeTree() {
    char pattern[] = "/tmp/tarn-bench-XXXXXX";
    gRoot = mkdtemp(pattern);
    for (const char* folder : {"data/applications", "data/mime/packages", "data-dirs", "config",
                               "config-dirs", "no-modules", "docs"})
        std::filesystem::create_directories(gRoot + "/" + folder);
    setenv("XDG_DATA_HOME", (gRoot + "/data").c_str(), 1);
    setenv("XDG_DATA_DIRS", (gRoot + "/data-dirs").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (gRoot + "/config").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (gRoot + "/config-dirs").c_str(), 1);
    setenv("GIO_MODULE_DIR", (gRoot + "/no-modules").c_str(), 1);
    setenv("GIO_USE_VFS", "local", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + gRoot + "/no-bus").c_str(), 1);
    write(gRoot + "/tool.sh", "#!/bin/sh\nexit 0\n", 0755);
    write(gRoot + "/docs/report.tarnbench", "report\n");
    write(gRoot + "/data/mime/packages/bench.xml",
          "<?xml version=\"1.0\"?>\n<mime-info "
          "xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
          "<mime-type type=\"application/x-tarn-bench\"><glob pattern=\"*.tarnbench\"/>"
          "</mime-type>\n</mime-info>\n");
    write(gRoot + "/data/applications/tarn-bench.desktop",
          "[Desktop Entry]\nType=Application\nName=Bench\nExec=" + gRoot +
              "/tool.sh %f\nMimeType=application/x-tarn-bench;\n");
    if (std::system(("update-mime-database " + gRoot + "/data/mime && update-desktop-database " +
                     gRoot + "/data/applications")
                        .c_str()) != 0)
        std::fprintf(stderr, "could not index the XDG tree\n");
}

}  // namespace

int main(int argc, char** argv) {
    makeTree();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(gRoot);
    return 0;
}
