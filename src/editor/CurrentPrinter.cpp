// SPDX-License-Identifier: GPL-3.0-or-later
#include "CurrentPrinter.h"

#include <QCoreApplication>
#include <QPrinter>
#include <QPrinterInfo>

#include "PrintJob.h"

namespace tarn::editor {

const QString kNoPrinterText = QStringLiteral(
    "No printer is installed. Add a printer in the system's printer settings, then try again.");

namespace {

QPrinter* gPrinter = nullptr;
PrintJob* gJob = nullptr;

// Runs while the application object goes away, after every window: a job
// still open is sent, and the printer is released while Qt can still do so.
void releasePrinter() {
    delete gJob;
    gJob = nullptr;
    delete gPrinter;
    gPrinter = nullptr;
}

void create() {
    if (gPrinter) return;
    gPrinter = new QPrinter(QPrinter::HighResolution);
    gJob = new PrintJob;
    qAddPostRoutine(releasePrinter);
}

}  // namespace

QPrinter& currentPrinter() {
    create();
    return *gPrinter;
}

PrintJob& currentJob() {
    create();
    return *gJob;
}

bool printerAvailable() {
    QPrinter& printer = currentPrinter();
    // Qt falls back to writing a PDF when it finds no printer; with no file
    // named, that is no printer at all.
    const bool noPrinter =
        printer.outputFormat() == QPrinter::PdfFormat && printer.outputFileName().isEmpty();
    if (!noPrinter) return true;
    const QString system = QPrinterInfo::defaultPrinterName();
    const QStringList names = QPrinterInfo::availablePrinterNames();
    if (names.isEmpty()) return false;
    printer.setOutputFormat(QPrinter::NativeFormat);
    printer.setPrinterName(system.isEmpty() ? names.front() : system);
    return printer.outputFormat() == QPrinter::NativeFormat;
}

}  // namespace tarn::editor
