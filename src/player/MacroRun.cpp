// SPDX-License-Identifier: GPL-3.0-or-later
#include "MacroRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "Diagnostic.h"
#include "MacroCheck.h"
#include "Statement.h"
#include "StopKey.h"
#include "TraceFile.h"
#include "Utf8.h"
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

// How often a stop key that another run holds is looked at while a run waits.
constexpr int kStopKeyWatchMs = 100;

}  // namespace

MacroRun::MacroRun(Platform poPlatform)
    : mPlatform(poPlatform), oMac(std::make_unique<clsMacro>(mPlatform)) {
    setBatch(false);
    oMac->DataInQueue = [this](const std::string& psvData) { oMac_DataInQueue(psvData); };
    oMac->ShuttingDown = [this] { oMac_ShuttingDown(); };
}

MacroRun::~MacroRun() {
    // A run cannot be under way here (it lives inside start() on this
    // object), but the interpreter's events must not outlive it either.
    oMac->DataInQueue = nullptr;
    oMac->ShuttingDown = nullptr;
    setStopKey(nullptr);
}

void MacroRun::setBatch(bool pbBatch, ReportHook poReport) {
    mbBatch = pbBatch;
    mReport = poReport ? std::move(poReport) : [](const std::string& psvLine) {
        std::fprintf(stderr, "%s\n", psvLine.c_str());
        std::fflush(stderr);
    };
}

void MacroRun::setAutomaticTrace(const QString& psvPath) {
    setTraceFilePath(psvPath);
    mbAutomaticTrace = true;
}

void MacroRun::setTraceFilePath(const QString& psvPath) {
    msvTracePath = psvPath;
    miTraceFile.reset();
}

QString MacroRun::traceFilePath() const {
    return msvTracePath.isEmpty() ? tarn::traceFilePath() : msvTracePath;
}

void MacroRun::start() {
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
        mReport(EscapeFileName(runPosition()) + ": Stopped by " + mStopKey->stoppedBy());
    }
    stop();
}

void MacroRun::beginTrace() {
    if (TraceOpened) TraceOpened(true);
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

void MacroRun::runMacroOnce() {
    // "~/" is the home folder, as in every file dialog of the desktop.
    std::string file = ExpandHome(macroFile(), QDir::homePath().toStdString());
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
            msvFailedFile = macroFile();
        }
        return;
    }
}

bool MacroRun::retryAfter(const Failure& poFailure, const std::string& psvBatchLine) {
    if (mbShuttingDown) return false;
    // Without a display nothing can be asked or shown: the program ends here,
    // as the toolkit ends it when it finds the display gone first, and the
    // platform's exit handler reports it. A backend that failed for want of
    // its connection may say so by a failure of another number.
    if (poFailure.number() == kDisplayClosed || mPlatform.windows.displayClosed()) std::exit(1);
    // The user closed the player while the run was finishing its statement:
    // a question now would come from a window that is gone, and a Yes would
    // run the macro again behind the user's back.
    if (mbWindowClosed && mbInteractive) return false;
    const std::string head =
        "Error " + std::to_string(poFailure.number()) + " - " + poFailure.description();
    traceRecord(head);
    if (mbBatch) {
        mReport(psvBatchLine);
        return false;
    }
    if (!Question) return false;
    const std::string text = head + " - Occured in " + poFailure.source() +
                             "\r\n\r\n Last Macro Command: " + msvLastCommand + "\r\n\r\nRetry ?";
    return Question("Tarn Macro Message", text);
}

void MacroRun::stop() {
    oMac->CancelMacro(true);
    if (tracing() && mbTraceOpen) {
        if (TraceOpened) TraceOpened(false);
        miTraceFile->end();
        QCoreApplication::processEvents();
        mbTraceOpen = false;
    }
}

void MacroRun::closeFromTray() {
    if (mbRunning) mbClosedFromTray = true;
    oMac->CancelMacro(true);
}

void MacroRun::oMac_DataInQueue(const std::string& psvData) {
    msvLastCommand = psvData;
    if (Activity) Activity(psvData);
    traceRecord(psvData);
    QCoreApplication::processEvents();
}

void MacroRun::traceRecord(const std::string& psvLine) {
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

void MacroRun::oMac_ShuttingDown() {
    try {
        mbShuttingDown = true;
        oMac->CancelMacro(true);
        QCoreApplication::processEvents();
        if (SessionEnding) SessionEnding();
    } catch (const std::exception&) {
        // The session is ending; nothing is left to report to.
    }
}

void MacroRun::setStopKey(StopKey* poKey) {
    mStopNotifier.reset();
    mStopKeyWatch.reset();
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
        mStopNotifier =
            std::make_unique<QSocketNotifier>(mStopKey->descriptor(), QSocketNotifier::Read);
        QObject::connect(mStopNotifier.get(), &QSocketNotifier::activated,
                         [this] { mStopKey->pressed(); });
    }
    // A stop key another run held is taken over once it is free; nothing
    // else would look while the run waits.
    mStopKeyWatch = std::make_unique<QTimer>();
    mStopKeyWatch->setInterval(kStopKeyWatchMs);
    QObject::connect(mStopKeyWatch.get(), &QTimer::timeout, [this] {
        if (mbRunning && mStopKey->heldElsewhere()) mStopKey->pressed();
    });
    mStopKeyWatch->start();
}

void MacroRun::watchStopKey(bool pbWatch) {
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
// ends at once); start() then calls stop() itself. Raised inside the
// keyboard's typing too, so it only sets the flags.
void MacroRun::stopKey_Pressed() {
    if (!mbRunning) return;
    mbStoppedByKey = true;
    oMac->CancelMacro(true);
}

void MacroRun::sayAboutStopKey(const std::string& psvText) {
    if (mbBatch) {
        mReport(FormatNote(macroFile(), psvText));
    } else {
        std::fprintf(stderr, "tarn: %s\n", psvText.c_str());
    }
}

void MacroRun::reportGone(const std::string& psvWhat) {
    traceRecord("Error " + std::to_string(kDisplayClosed) + " - " + psvWhat);
    if (mbBatch) {
        mReport(diagnosticOf(Failure(kDisplayClosed, psvWhat)));
    } else {
        std::fprintf(stderr, "tarn: %s\n", psvWhat.c_str());
    }
}

std::string MacroRun::macroName() const {
    const std::string file = macroFile();
    // Standard input is named as compilers, and tarn --check, name it.
    return file == kStandardInput ? "<stdin>" : file;
}

std::string MacroRun::runPosition() const {
    const std::int32_t line = oMac->LineNumber();
    return line > 0 ? macroName() + ":" + std::to_string(line) : macroName();
}

// The form tarn --check writes: where a check finds the same failure in the
// line, its column and words; otherwise the column where the statement's
// values begin, which is what a run takes up when it fails.
std::string MacroRun::diagnosticOf(const Failure& poFailure) const {
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

int MacroRun::exitCode() const {
    if (mbRunFailed || mbTraceFailed) return 1;
    // 128 + SIGINT, as a shell reports a job stopped from the keyboard: a
    // stopped run did not do its work, and `tarn job.mcr && next` must not
    // go on as after one that did.
    if ((mbStoppedByKey || mbClosedFromTray) && !mbInteractive) return 130;
    return 0;
}

}  // namespace tarn
