// Run control of the player window: Start, Stop, the line report, the
// failure handler with its "Retry ?" question, and the end of the session.
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <new>

#include "TraceFile.h"
#include "frmTarn.h"

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
    if (mbInteractive && !mbTraceOpen) beginTrace();
    runMacroOnce();
    mbRunning = false;
    cmdStop_Click();
    if (!mbInteractive) close();
}

void frmTarn::beginTrace() {
    growByActivityRow(true);
    if (!miTraceFile) miTraceFile = std::make_unique<TraceFile>(traceFilePath());
    for (;;) {
        try {
            miTraceFile->begin();
            break;
        } catch (const Failure& failure) {
            if (!retryAfter(failure)) break;
        }
    }
    QCoreApplication::processEvents();
    // Also after a creation answered No: the run then goes on without a usable
    // trace, and the line reports that cannot be written are dropped.
    mbTraceOpen = true;
}

void frmTarn::runMacroOnce() {
    const std::string file = txtMacroFile->text().toStdString();
    mlFailedLine = 0;
    for (;;) {
        std::optional<Failure> failed;
        try {
            oMac->RunMacro(file);
            return;
        } catch (const Failure& failure) {
            failed = failure;
        } catch (const std::exception& error) {
            failed = asFailure(error);
        }
        if (retryAfter(*failed)) continue;
        // Passed over in silence while the session ends; that is no failure of
        // the macro.
        if (!mbShuttingDown) {
            mbRunFailed = true;
            mlFailedLine = oMac->LineNumber();
        }
        return;
    }
}

bool frmTarn::retryAfter(const Failure& poFailure) {
    if (mbShuttingDown) return false;
    // The user closed the player while the run was finishing its statement:
    // a question now would come from a window that is gone, and a Yes would
    // run the macro again behind the user's back.
    if (mbUnloaded && mbInteractive) return false;
    const std::string head =
        "Error " + std::to_string(poFailure.number()) + " - " + poFailure.description();
    if (mbTraceOpen && mbInteractive && miTraceFile) {
        try {
            miTraceFile->appendLine(head);
        } catch (const Failure&) {
            // A trace that could not be created or written does not hide the
            // failure from the user.
        }
    }
    const std::string text = head + " - Occured in " + poFailure.source() +
                             "\r\n\r\n Last Macro Command: " + msvLastCommand + "\r\n\r\nRetry ?";
    QWidget* owner = isVisible() ? this : nullptr;
    return mQuestion(owner, QStringLiteral("Tarn Macro Message"), QString::fromStdString(text));
}

bool frmTarn::askWithMessageBox(QWidget* poOwner, const QString& psvTitle, const QString& psvText) {
    QMessageBox box(QMessageBox::Question, psvTitle, QString(psvText).replace("\r\n", "\n"),
                    QMessageBox::Yes | QMessageBox::No, poOwner);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void frmTarn::cmdStop_Click() {
    oMac->CancelMacro(true);
    if (mbInteractive && mbTraceOpen) {
        growByActivityRow(false);
        miTraceFile->end();
        QCoreApplication::processEvents();
        mbTraceOpen = false;
    }
}

void frmTarn::oMac_DataInQueue(const std::string& psvData) {
    msvLastCommand = psvData;
    lblActivity->setText(QString::fromStdString(psvData));
    if (mbInteractive && miTraceFile) {
        try {
            miTraceFile->appendLine(psvData);
        } catch (const Failure&) {
            // The trace is closed (Stop was pressed during this run) or could
            // not be created; the run goes on without it.
        }
    }
    QCoreApplication::processEvents();
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
