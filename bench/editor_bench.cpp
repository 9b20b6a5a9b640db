// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's macro files against the text area (offscreen unless
// QT_QPA_PLATFORM says otherwise):
//   OpenMacroFile/<MB> - from reading the file to a shown text area that has
//                        painted once: ReadMacroFile, setPlainText, show and one
//                        processEvents. Counters: cpu_s, the processor time of
//                        it (the machine may be shared); peak_rss_MB, the growth
//                        of the resident set over the opening (peak against the
//                        state before it); x_file_size, that growth over the
//                        file's size; scroll_end_ms, moving to the last line and
//                        painting it. A file past kMaxMacroFileBytes is skipped.
//   TextArea/<MB>      - the same for the text area alone, also past the size
//                        the editor opens, to show where it stops answering
//                        promptly.
//   OneLongLine/<K>    - a file of one line of K thousand characters: showing it
//                        and typing one key at its end (type_ms, type_cpu_ms).
//   SaveMacroFile/<MB> - WriteMacroFile over an existing file, flushed to disk.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <time.h>

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>

#include "EditorText.h"
#include "MacroFileIO.h"

namespace {

using Clock = std::chrono::steady_clock;
QTemporaryDir* gFolder = nullptr;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// A macro of typical lines that is the given size on disk with CR LF line ends.
QString macroText(qint64 megabytes) {
    static const char* const lines[] = {
        "SetFocus \"Untitled - Notepad\"", "Send \"Hello, world{ENTER}\"", "Wait 1",
        "Rem a comment line of a length that macros often have", "xtermID = Run \"xterm\""};
    QString text;
    const qint64 size = megabytes * 1024 * 1024;
    text.reserve(size);
    qint64 bytes = 0;
    for (int i = 0;; ++i) {
        const QLatin1String line(lines[i % 5]);
        if (bytes + line.size() + 2 > size) break;
        text += line;
        text += u'\n';
        bytes += line.size() + 2;
    }
    text += QString(size - bytes, u'x');
    return text;
}

QString macroFile(qint64 megabytes) {
    const QString path = gFolder->filePath(QString("macro%1.mcr").arg(megabytes));
    if (QFile::exists(path)) return path;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(macroText(megabytes).toUtf8().replace("\n", "\r\n"));
    }
    return path;
}

// Kilobytes of a line of /proc/self/status ("VmRSS", "VmHWM").
long statusKb(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
    }
    return 0;
}

// Starts a new peak of the resident set at its present size.
long resetPeakKb() {
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    return statusKb("VmRSS");
}

double cpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::unique_ptr<QPlainTextEdit> textArea() {
    auto edit = std::make_unique<QPlainTextEdit>();
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font("MS Sans Serif");
    font.setPointSizeF(9.75);
    font.setBold(true);
    edit->setFont(font);
    edit->resize(1100, 700);
    return edit;
}

// Times getText and the text area it fills, shown and painted once; records the
// peak memory of it and what scrolling to the last line then costs.
template <class GetText>
void measureOpening(benchmark::State& state, double bytes, GetText getText) {
    double peakMb = 0;
    double scrollSeconds = 0;
    double cpu = 0;
    for (auto _ : state) {
        const long before = resetPeakKb();
        const double cpuStart = cpuSeconds();
        const auto start = Clock::now();
        auto edit = textArea();
        edit->setPlainText(getText());
        edit->show();
        QApplication::processEvents();
        state.SetIterationTime(seconds(start));
        cpu = std::max(cpu, cpuSeconds() - cpuStart);
        peakMb = std::max(peakMb, static_cast<double>(statusKb("VmHWM") - before) / 1024.0);
        const auto scroll = Clock::now();
        edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
        QApplication::processEvents();
        scrollSeconds = std::max(scrollSeconds, seconds(scroll));
    }
    state.counters["cpu_s"] = cpu;
    state.counters["peak_rss_MB"] = peakMb;
    state.counters["x_file_size"] = peakMb * 1024 * 1024 / bytes;
    state.counters["scroll_end_ms"] = scrollSeconds * 1000;
}

void OpenMacroFile(benchmark::State& state) {
    const QString path = macroFile(state.range(0));
    const qint64 bytes = QFile(path).size();
    if (bytes > tarn::editor::kMaxMacroFileBytes) {
        state.SkipWithError("larger than kMaxMacroFileBytes: refused with failure 7");
        return;
    }
    measureOpening(state, static_cast<double>(bytes),
                   [&] { return tarn::editor::ReadMacroFile(path).text; });
}
BENCHMARK(OpenMacroFile)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Arg(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void TextArea(benchmark::State& state) {
    const QString text = macroText(state.range(0));
    measureOpening(state, static_cast<double>(state.range(0)) * 1024 * 1024, [&] { return text; });
}
BENCHMARK(TextArea)
    ->Arg(4)
    ->Arg(10)
    ->Arg(16)
    ->Arg(32)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// One line of the given thousands of characters: the text area lays a line out
// whole, when it is shown and again for every key typed into it (type_ms).
void OneLongLine(benchmark::State& state) {
    const QString line = macroText(1).replace(u'\n', u' ').left(state.range(0) * 1024);
    double typeSeconds = 0;
    double typeCpu = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto edit = textArea();
        edit->setPlainText(line);
        edit->show();
        QApplication::processEvents();
        state.SetIterationTime(seconds(start));
        edit->moveCursor(QTextCursor::End);
        QApplication::processEvents();
        const auto type = Clock::now();
        const double cpuStart = cpuSeconds();
        edit->insertPlainText("x");
        QApplication::processEvents();
        typeSeconds = std::max(typeSeconds, seconds(type));
        typeCpu = std::max(typeCpu, cpuSeconds() - cpuStart);
    }
    state.counters["type_ms"] = typeSeconds * 1000;
    state.counters["type_cpu_ms"] = typeCpu * 1000;
}
BENCHMARK(OneLongLine)
    ->Arg(16)
    ->Arg(32)
    ->Arg(64)
    ->Arg(1024)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

void SaveMacroFile(benchmark::State& state) {
    const QString path = macroFile(state.range(0));
    const QString text = macroText(state.range(0));
    for (auto _ : state) {
        const auto start = Clock::now();
        tarn::editor::WriteMacroFile(path, text, {});
        state.SetIterationTime(seconds(start));
    }
    state.SetBytesProcessed(QFile(path).size() * state.iterations());
}
BENCHMARK(SaveMacroFile)->Arg(10)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Beside the user's files on disk rather than in memory, so a save pays for
    // its flush as it does for real.
    QTemporaryDir folder(QDir::homePath() + "/.tarn-editor-bench-XXXXXX");
    if (!folder.isValid()) return 1;
    gFolder = &folder;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
