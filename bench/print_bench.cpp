// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of printing a macro: a text of typical macro lines (0.25, 0.5 and
// 1 MB; 1 MB is about 300 A4 pages) laid out alone, and laid out and painted
// into a PDF through QPrinter, the path a CUPS printer takes too. Memory must
// not grow with the number of pages: each job resets the process's peak
// resident size (/proc/self/clear_refs) and reports how far the peak rose
// above the resident size it started from (peak_rise_MB).
// Runs offscreen; no printer is contacted (CUPS_SERVER names no server).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>
#include <fstream>
#include <string>

#include "PrintJob.h"
#include "modWordwrap.h"

namespace {

QTemporaryDir* gFolder = nullptr;

QString macroText(qsizetype bytes) {
    // About 60 bytes a line, as macros with their comments run.
    static const QString lines[] = {
        QStringLiteral("Send \"Hello, world{ENTER}\"   Rem a macro line of typical length\r\n"),
        QStringLiteral("Wait 2   Rem give the window time to appear on the screen\r\n"),
        QStringLiteral("lID = GetWindowID(\"Untitled - Notepad\", 0, 10)   Rem find it\r\n"),
        QStringLiteral("\tSetFocus lID   Rem bring it to the front before typing\r\n"),
    };
    QString text;
    text.reserve(bytes + 100);
    for (size_t i = 0; text.size() < bytes; ++i)
        text += lines[i % std::size(lines)];
    return text;
}

// The resident size and its peak, in kB, from /proc/self/status.
long statusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word)
        if (word == key) {
            long kb = 0;
            status >> kb;
            return kb;
        }
    return 0;
}

void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void preparePdf(QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(gFolder->filePath(QStringLiteral("bench.pdf")));
    printer.setPageSize(QPageSize(QPageSize::A4));
}

void LayOut(benchmark::State& state) {
    const QString text = macroText(state.range(0) * 1024);
    QPrinter printer(QPrinter::HighResolution);
    preparePdf(printer);
    tarn::editor::PrintJob job;
    job.begin(printer);  // for the measure of the real font on the device
    int pages = 0;
    for (auto _ : state) {
        tarn::editor::modWordwrap layout(job.pageSize(), job.measure(), QStringLiteral("1/1/26"),
                                         [&](const tarn::editor::Page& page) {
                                             pages = page.number;
                                             benchmark::DoNotOptimize(page.runs.data());
                                         });
        layout.PrintWrapped(text, QStringLiteral("/home/user/bench.mcr"));
    }
    job.end();
    state.counters["pages"] = pages;
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(LayOut)->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);

void PrintPdf(benchmark::State& state) {
    const QString text = macroText(state.range(0) * 1024);
    double rise = 0;
    for (auto _ : state) {
        QPrinter printer(QPrinter::HighResolution);
        preparePdf(printer);
        resetPeak();
        const long before = statusKb("VmRSS:");
        tarn::editor::PrintJob job;
        job.begin(printer);
        job.print(text, QStringLiteral("/home/user/bench.mcr"), tarn::editor::todaysShortDate());
        job.end();
        rise = std::max(rise, (statusKb("VmHWM:") - before) / 1024.0);
    }
    state.counters["peak_rise_MB"] = rise;
    state.counters["pdf_MB"] =
        QFile(gFolder->filePath(QStringLiteral("bench.pdf"))).size() / (1024.0 * 1024.0);
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(PrintPdf)->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir folder;
    if (!folder.isValid()) return 1;
    gFolder = &folder;
    // No printer is wanted: a socket in the scratch folder where nothing listens.
    qputenv("CUPS_SERVER", QFile::encodeName(folder.filePath(QStringLiteral("no-cups.sock"))));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
