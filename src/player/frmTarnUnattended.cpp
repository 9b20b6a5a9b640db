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
    if (mStopKey) {
        mStopKey->Pressed = nullptr;
        mStopKey->Taken = nullptr;
    }
    mStopKey = poKey;
    if (!mStopKey) return;
    mStopKey->Pressed = [this] { stopKey_Pressed(); };
    mStopKey->Taken = [this] {
        if (mbRunning) sayAboutStopKey(std::string(StopKey::kKeyName) + " stops this run now");
    };
    if (mStopKey->descriptor() >= 0) {
        mStopNotifier = new QSocketNotifier(mStopKey->descriptor(), QSocketNotifier::Read, this);
        connect(mStopNotifier, &QSocketNotifier::activated, this, [this] { mStopKey->pressed(); });
    }
}

void frmTarn::watchStopKey(bool pbWatch) {
    if (!mStopKey) return;
    if (pbWatch) {
        mStopKey->arm();
        // Two runs on one display: the key is the first one's, and Pause
        // would stop only that one. Each run takes the key over once it is
        // free; until then it says how else it can be stopped.
        if (mStopKey->heldElsewhere()) {
            sayAboutStopKey(std::string(StopKey::kKeyName) +
                            " is held by another program (another run of Tarn?) and stops this "
                            "run only once that program lets it go; tarn --stop stops it now");
        }
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

void frmTarn::sayAboutStopKey(const std::string& psvText) {
    if (mbBatch) {
        mReport(FormatNote(txtMacroFile->text().toStdString(), psvText));
    } else {
        std::fprintf(stderr, "tarn: %s\n", psvText.c_str());
    }
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
