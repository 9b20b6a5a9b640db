// SPDX-License-Identifier: GPL-3.0-or-later
// Runs nobody watches: batch mode, the trace of an automatic run, and the
// emergency stop key.
#include <QLineEdit>
#include <QSocketNotifier>
#include <cstdio>

#include "Diagnostic.h"
#include "StopKey.h"
#include "TraceFile.h"
#include "frmTarn.h"

namespace tarn {

void frmTarn::setBatch(bool pbBatch, ReportHook poReport) {
    mbBatch = pbBatch;
    mReport = poReport ? std::move(poReport) : [](const std::string& psvLine) {
        std::fprintf(stderr, "%s\n", psvLine.c_str());
        std::fflush(stderr);
    };
}

void frmTarn::setAutomaticTrace(const QString& psvPath) {
    setTraceFilePath(psvPath);
    mbAutomaticTrace = true;
}

void frmTarn::setStopKey(StopKey* poKey) {
    delete mStopNotifier;
    mStopNotifier = nullptr;
    if (mStopKey) mStopKey->Pressed = nullptr;
    mStopKey = poKey;
    if (!mStopKey) return;
    mStopKey->Pressed = [this] { stopKey_Pressed(); };
    if (mStopKey->descriptor() >= 0) {
        mStopNotifier = new QSocketNotifier(mStopKey->descriptor(), QSocketNotifier::Read, this);
        connect(mStopNotifier, &QSocketNotifier::activated, this, [this] { mStopKey->pressed(); });
    }
}

void frmTarn::watchStopKey(bool pbWatch) {
    if (!mStopKey) return;
    if (pbWatch) {
        mStopKey->arm();
    } else {
        mStopKey->disarm();
    }
}

// The run stops after its statement, as after Stop (a Wait or a long Send
// ends at once); Start then calls Stop itself. Raised inside the keyboard's
// typing too, so it only sets the flags.
void frmTarn::stopKey_Pressed() {
    if (!mbRunning) return;
    mbStoppedByKey = true;
    oMac->CancelMacro(true);
}

void frmTarn::reportGone(const std::string& psvWhat) {
    if (tracing() && mbTraceOpen && miTraceFile) {
        try {
            miTraceFile->appendLine("Error " + std::to_string(kDisplayClosed) + " - " + psvWhat);
        } catch (const Failure&) {
            // Standard error still says it.
        }
    }
    if (mbBatch) {
        mReport(FormatDiagnostic(runPosition(), 0, 0, psvWhat, kDisplayClosed));
    } else {
        std::fprintf(stderr, "tarn: %s\n", psvWhat.c_str());
    }
}

std::string frmTarn::runPosition() const {
    const std::string file = txtMacroFile->text().toStdString();
    const std::int32_t line = oMac->LineNumber();
    return line > 0 ? file + ":" + std::to_string(line) : file;
}

int frmTarn::exitCode() const {
    if (mbRunFailed || mbTraceFailed) return 1;
    // 128 + SIGINT, as a shell reports a job stopped from the keyboard.
    if (mbStoppedByKey && mbBatch) return 130;
    return 0;
}

}  // namespace tarn
