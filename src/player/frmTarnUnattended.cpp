// SPDX-License-Identifier: GPL-3.0-or-later
// Runs nobody watches: batch mode, the trace of an automatic run, and the
// emergency stop key.
#include <QLineEdit>
#include <QSocketNotifier>
#include <cstdio>

#include "Diagnostic.h"
#include "MacroCheck.h"
#include "Statement.h"
#include "StopKey.h"
#include "TraceFile.h"
#include "Utf8.h"
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
    traceRecord("Error " + std::to_string(kDisplayClosed) + " - " + psvWhat);
    if (mbBatch) {
        mReport(diagnosticOf(Failure(kDisplayClosed, psvWhat)));
    } else {
        std::fprintf(stderr, "tarn: %s\n", psvWhat.c_str());
    }
}

std::string frmTarn::macroName() const {
    const std::string file = txtMacroFile->text().toStdString();
    // Standard input is named as compilers, and tarn --check, name it.
    return file == kStandardInput ? "<stdin>" : file;
}

std::string frmTarn::runPosition() const {
    const std::int32_t line = oMac->LineNumber();
    return line > 0 ? macroName() + ":" + std::to_string(line) : macroName();
}

// The form tarn --check writes: where a check finds the same failure in the
// line, its column and words; otherwise the column where the statement's
// values begin, which is what a run takes up when it fails.
std::string frmTarn::diagnosticOf(const Failure& poFailure) const {
    const std::int32_t line = oMac->LineNumber();
    std::int32_t column = 0;
    std::string text = poFailure.description();
    if (line > 0 && poFailure.number() == kLineTooLong) {
        column = 1;
    } else if (line > 0 && poFailure.number() != kDisplayClosed) {
        MacroChecker checker;
        const std::optional<Finding> finding = checker.checkLine(msvLastCommand);
        if (finding && finding->number == poFailure.number()) {
            column = finding->column;
            text = finding->description;
        } else {
            const Statement statement = ClassifyStatement(msvLastCommand);
            std::size_t offset = statement.offset;
            if (statement.form == Statement::Form::Assignment) offset = statement.rightSideOffset;
            if (statement.form == Statement::Form::Command && statement.keyword != Keyword::Invalid)
                offset = statement.parametersOffset;
            column = static_cast<std::int32_t>(utf8::length(msvLastCommand.substr(0, offset))) + 1;
        }
    }
    return FormatDiagnostic(macroName(), line, column, text, poFailure.number());
}

int frmTarn::exitCode() const {
    if (mbRunFailed || mbTraceFailed) return 1;
    // 128 + SIGINT, as a shell reports a job stopped from the keyboard: a
    // stopped run did not do its work, and `tarn job.mcr && next` must not
    // go on as after one that did.
    if ((mbStoppedByKey || mbClosedFromTray) && !mbInteractive) return 130;
    return 0;
}

}  // namespace tarn
