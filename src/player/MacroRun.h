// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The run control every mode shares: the one interpreter object, Start and
// Stop, the trace file, the failure handler with its "Retry ?" question, the
// emergency stop key and the reports of a batch run. It needs an event loop
// (a QCoreApplication) but no widget, so that a batch run, which shows
// nothing, starts without the widget toolkit; the player window adds what a
// user sees (the file box, the activity line, the question box) through the
// hooks below.

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Failure.h"
#include "Platform.h"
#include "clsMacro.h"

class QSocketNotifier;
class QTimer;

namespace tarn {

class StopKey;
class TraceFile;

class MacroRun {
  public:
    // A batch run's lines: standard error unless a hook is set.
    using ReportHook = std::function<void(const std::string& psvLine)>;
    // Asks a Yes/No question; true for Yes. The text as composed, line breaks
    // as CR LF.
    using QuestionHook =
        std::function<bool(const std::string& psvTitle, const std::string& psvText)>;

    // The file name that names standard input; read only in batch mode.
    static constexpr const char* kStandardInput = "-";

    // The platform's references must outlive the run.
    explicit MacroRun(Platform poPlatform);
    ~MacroRun();
    MacroRun(const MacroRun&) = delete;
    MacroRun& operator=(const MacroRun&) = delete;

    // The macro file as the user gave it ("~/" for the home folder, "-" for
    // standard input); asked at every Start.
    std::function<std::string()> MacroFile;
    // The line the interpreter is about to carry out.
    std::function<void(const std::string& psvLine)> Activity;
    // The trace file was opened (true) or closed (false).
    std::function<void(bool pbOpen)> TraceOpened;
    // The "Retry ?" question; without it a failure is never retried.
    QuestionHook Question;
    // The session is ending: the run has been cancelled.
    std::function<void()> SessionEnding;

    // Interactive (the player window shown): every run is traced and a stop
    // is no failure of the program.
    void setInteractive(bool pbInteractive) { mbInteractive = pbInteractive; }
    // Batch mode: a failure asks nothing; its one line goes to the report and
    // the run is not retried.
    void setBatch(bool pbBatch, ReportHook poReport = {});
    bool batch() const { return mbBatch; }
    // An automatic run is traced to this file as an interactive run is.
    void setAutomaticTrace(const QString& psvPath);
    // Every record of the trace also goes to the report as it is written.
    void setVerbose(bool pbVerbose) { mbVerbose = pbVerbose; }
    // Watched while a run is under way; its press stops the run as Stop
    // does. nullptr: none. Must outlive the run.
    void setStopKey(StopKey* poKey);
    // Where the trace file is written; by default traceFilePath(). Set before
    // the first Start.
    void setTraceFilePath(const QString& psvPath);
    QString traceFilePath() const;

    // Start: one run of the macro, with its retries, to its end.
    void start();
    // Stop: cancels a run under way and closes the trace.
    void stop();
    // The notification area's Close: the run stops as by the stop key.
    void closeFromTray();
    // The window that would ask "Retry ?" was closed during the run.
    void windowClosed() { mbWindowClosed = true; }
    // The program ends because the display is gone (psvWhat: "the display
    // closed"): failure 1013 in the trace and, in batch mode, in the report as
    // any failure; otherwise "tarn: " and the text on standard error.
    void reportGone(const std::string& psvWhat);

    bool running() const { return mbRunning; }
    bool traceOpen() const { return mbTraceOpen; }
    bool shuttingDown() const { return mbShuttingDown; }
    bool stoppedByStopKey() const { return mbStoppedByKey; }
    const std::string& lastCommand() const { return msvLastCommand; }
    // The 1-based line the last run failed on when its failure was not
    // retried, 0 otherwise; and the macro file of that run as given.
    std::int32_t failedLine() const { return mlFailedLine; }
    const std::string& failedFile() const { return msvFailedFile; }
    // 1 when the last run ended in a failure that was not retried (or a batch
    // run's trace could not be written), 130 when a run that is not
    // interactive was stopped, otherwise 0.
    int exitCode() const;
    clsMacro& macro() { return *oMac; }

  private:
    void beginTrace();
    void runMacroOnce();
    bool retryAfter(const Failure& poFailure, const std::string& psvBatchLine);
    void oMac_DataInQueue(const std::string& psvData);
    void oMac_ShuttingDown();
    void traceRecord(const std::string& psvLine);
    bool tracing() const { return mbInteractive || mbAutomaticTrace; }
    std::string macroFile() const { return MacroFile ? MacroFile() : std::string(); }
    // The macro's name in reports ("<stdin>" for standard input).
    std::string macroName() const;
    // Where the run is, "FILE:LINE" (only FILE before the first line).
    std::string runPosition() const;
    // The failure in the form of tarn --check, "FILE:LINE:COLUMN: error: TEXT [NUMBER]".
    std::string diagnosticOf(const Failure& poFailure) const;
    void stopKey_Pressed();
    void watchStopKey(bool pbWatch);
    void sayAboutStopKey(const std::string& psvText);

    Platform mPlatform;
    std::unique_ptr<clsMacro> oMac;
    std::string msvLastCommand;
    std::int32_t mlFailedLine = 0;
    std::string msvFailedFile;
    std::unique_ptr<TraceFile> miTraceFile;
    QString msvTracePath;
    bool mbInteractive = false;
    bool mbTraceOpen = false;
    bool mbShuttingDown = false;
    bool mbRunning = false;
    bool mbRunFailed = false;
    bool mbTraceFailed = false;
    bool mbBatch = false;
    bool mbAutomaticTrace = false;
    bool mbStoppedByKey = false;
    bool mbClosedFromTray = false;
    bool mbVerbose = false;
    bool mbWindowClosed = false;
    ReportHook mReport;
    StopKey* mStopKey = nullptr;
    std::unique_ptr<QSocketNotifier> mStopNotifier;
    std::unique_ptr<QTimer> mStopKeyWatch;
};

}  // namespace tarn
