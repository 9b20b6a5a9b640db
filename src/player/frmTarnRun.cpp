// SPDX-License-Identifier: GPL-3.0-or-later
// Run control of the player window: Start, Stop, the line report, the
// failure handler with its "Retry ?" question, and the end of the session.
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <cstdlib>
#include <new>

#include "Diagnostic.h"
#include "MessageBoxes.h"
#include "StopKey.h"
#include "TraceFile.h"
#include "frmTarn.h"
#include "modGlobal.h"

namespace tarn {

namespace {

// A failure that is not one of the program's own (a library's exception) still
// reaches the user as a failure of the run instead of ending the program.
Failure asFailure(const std::exception& poError) {
    if (dynamic_cast<const std::bad_alloc*>(&poError)) return runtimeFailure(kOutOfMemory);
    constexpr std::int32_t kInternalError = 51;
    return Failure(kInternalError, poError.what(), kRuntimeSource);
}

}  // namespace

void frmTarn::cmdGo_Click() {
    // One interpreter object serves one run at a time; a second Start pressed
    // during a run (inside one of its yields) is ignored.
    if (mbRunning) return;
    mbRunning = true;
    mbRunFailed = false;
    mbTraceFailed = false;
    mbStoppedByKey = false;
    mbClosedFromTray = false;
    if (tracing() && !mbTraceOpen) beginTrace();
    runMacroOnce();
    mbRunning = false;
    if (mbStoppedByKey && mbBatch) {
        mReport(runPosition() + ": Stopped by " + mStopKey->stoppedBy());
    }
    cmdStop_Click();
    if (!mbInteractive) close();
}

void frmTarn::beginTrace() {
    if (mbInteractive) growByActivityRow(true);
    if (!miTraceFile) miTraceFile = std::make_unique<TraceFile>(traceFilePath());
    for (;;) {
        try {
            miTraceFile->begin();
            break;
        } catch (const Failure& failure) {
            const std::string batchLine = FormatDiagnostic(miTraceFile->path().toStdString(), 0, 0,
                                                           failure.description(), failure.number());
            if (!retryAfter(failure, batchLine)) {
                // A batch job asked for a record it will not get: the run goes
                // on, and its status says that something failed.
                if (mbBatch) mbTraceFailed = true;
                break;
            }
        }
    }
    QCoreApplication::processEvents();
    // Also after a creation answered No: the run then goes on without a usable
    // trace, and the line reports that cannot be written are dropped.
    mbTraceOpen = true;
}

void frmTarn::runMacroOnce() {
    // "~/" is the home folder, as in every file dialog of the desktop.
    std::string file =
        ExpandHome(txtMacroFile->text().toStdString(), QDir::homePath().toStdString());
    // Read once, as a batch run reads it: it is never retried.
    if (mbBatch && file == kStandardInput) file = "/dev/stdin";
    mlFailedLine = 0;
    for (;;) {
        std::optional<Failure> failed;
        watchStopKey(true);
        try {
            // A stop that came before the run (a signal while the program
            // started) is not forgotten as a Stop pressed before it would be.
            if (!(mStopKey && mStopKey->pressed())) oMac->RunMacro(file);
        } catch (const Failure& failure) {
            failed = failure;
        } catch (const std::exception& error) {
            failed = asFailure(error);
        }
        // Whether it ended, was stopped or failed, the run is over: the keyboard
        // is the user's again before any question is asked.
        watchStopKey(false);
        mPlatform.keyboard.restoreLayout();
        if (!failed) return;
        if (retryAfter(*failed, diagnosticOf(*failed))) continue;
        // Passed over in silence while the session ends; that is no failure of
        // the macro.
        if (!mbShuttingDown) {
            mbRunFailed = true;
            mlFailedLine = oMac->LineNumber();
            msvFailedFile = txtMacroFile->text();
        }
        return;
    }
}

bool frmTarn::retryAfter(const Failure& poFailure, const std::string& psvBatchLine) {
    if (mbShuttingDown) return false;
    // Without a display nothing can be asked or shown: the program ends here,
    // as the toolkit ends it when it finds the display gone first, and the
    // platform's exit handler reports it.
    if (poFailure.number() == kDisplayClosed) std::exit(1);
    // The user closed the player while the run was finishing its statement:
    // a question now would come from a window that is gone, and a Yes would
    // run the macro again behind the user's back.
    if (mbUnloaded && mbInteractive) return false;
    const std::string head =
        "Error " + std::to_string(poFailure.number()) + " - " + poFailure.description();
    traceRecord(head);
    if (mbBatch) {
        mReport(psvBatchLine);
        return false;
    }
    const std::string text = head + " - Occured in " + poFailure.source() +
                             "\r\n\r\n Last Macro Command: " + msvLastCommand + "\r\n\r\nRetry ?";
    QWidget* owner = isVisible() ? this : nullptr;
    return mQuestion(owner, QStringLiteral("Tarn Macro Message"), QString::fromStdString(text));
}

bool frmTarn::askWithMessageBox(QWidget* poOwner, const QString& psvTitle, const QString& psvText) {
    // A long macro line is wrapped inside the box instead of running off its edge.
    return askYesNo(poOwner, psvTitle, psvText);
}

void frmTarn::cmdStop_Click() {
    oMac->CancelMacro(true);
    if (tracing() && mbTraceOpen) {
        if (mbInteractive) growByActivityRow(false);
        miTraceFile->end();
        QCoreApplication::processEvents();
        mbTraceOpen = false;
    }
}

void frmTarn::oMac_DataInQueue(const std::string& psvData) {
    msvLastCommand = psvData;
    lblActivity->setText(QString::fromStdString(psvData));
    traceRecord(psvData);
    QCoreApplication::processEvents();
}

void frmTarn::traceRecord(const std::string& psvLine) {
    if (mbVerbose) mReport(psvLine);
    if (!tracing() || !miTraceFile) return;
    try {
        miTraceFile->appendLine(psvLine);
    } catch (const Failure&) {
        // The trace is closed (Stop was pressed during this run) or could not
        // be created; the run goes on without it, and a failure is still
        // reported to the user.
    }
}

void frmTarn::oMac_ShuttingDown() {
    try {
        mbShuttingDown = true;
        oMac->CancelMacro(true);
        QCoreApplication::processEvents();
        if (mbInteractive) close();
    } catch (const std::exception&) {
        // The session is ending; nothing is left to report to.
    }
}

}  // namespace tarn
