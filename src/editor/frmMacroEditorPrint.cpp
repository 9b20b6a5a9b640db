// SPDX-License-Identifier: GPL-3.0-or-later
// Print and Printer Setup of the editor and the trace viewer. The layout is
// modWordwrap's, the painting PrintJob's; both windows print on the one
// current printer (CurrentPrinter.h).

#include <QApplication>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPrinter>
#include <new>
#include <optional>

#include "CommonDialog.h"
#include "CurrentPrinter.h"
#include "EditorText.h"
#include "Failure.h"
#include "PrintJob.h"
#include "frmMacroEditor.h"
#include "modWordwrap.h"

namespace tarn::editor {

namespace {

// Runs the body under the hourglass; a failure comes back once the normal
// pointer is back, so no report is read under an hourglass.
template <class Body>
std::optional<Failure> underHourglass(Body&& body) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::optional<Failure> failure;
    try {
        body();
    } catch (const Failure& caught) {
        failure = caught;
    } catch (const std::bad_alloc&) {
        failure = runtimeFailure(kOutOfMemory);
    }
    QApplication::restoreOverrideCursor();
    return failure;
}

}  // namespace

void frmMacroEditor::mnuFilePrint_Click() {
    bool noPrinter = false;
    const std::optional<Failure> failure = underHourglass([&] {
        PrintJob& job = currentJob();
        // A job that an earlier Print left open when it failed is sent now,
        // with the pages it holds.
        job.end();
        if (!printerAvailable()) {
            noPrinter = true;
            return;
        }
        QPrinter& printer = currentPrinter();
        const QString& fileName = mDocument->fileName();
        printer.setDocName(fileName.isEmpty() ? QStringLiteral("Untitled")
                                              : QFileInfo(fileName).fileName());
        const QString text = exactText(*txtEdit);
        job.begin(printer);
        job.print(text, fileName, todaysShortDate());
        job.end();
    });
    if (noPrinter) report(kEditorTitle, kNoPrinterText);
    if (failure) ReportFileError(QStringLiteral("Error during printing"), *failure);
}

void frmMacroEditor::mnuFilePrinterSetup_Click() {
    try {
        // A job still open holds the printer; Qt would refuse to change it
        // while it prints, so the choice would silently not count.
        currentJob().end();
        if (!printerAvailable()) {
            report(kEditorTitle, kNoPrinterText);
            return;
        }
        cdlgMac->setFlags(CommonDialog::kPrinterDialogFlags);
        cdlgMac->setDialogTitle(QStringLiteral("Macro File Printer Setup"));
        cdlgMac->ShowPrinter(currentPrinter());
    } catch (const Failure& failure) {
        if (failure.number() == CommonDialog::kCancelError) return;
        ReportFileError(QStringLiteral("Error during printer setup"), failure);
    }
}

}  // namespace tarn::editor
