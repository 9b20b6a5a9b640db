// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The player window: the program's start-up window and the host of the one
// interpreter object. It chooses the macro file, starts and stops runs, shows
// the line in progress, writes the trace file and calls up help.
//
// The mode is fixed once, by the command line given to the constructor:
// without one the window is interactive (shown, every run traced); with one,
// even an empty one, it is automatic (hidden behind a notification-area icon,
// the run starts at once from Form_Load and the window closes after it).
//
// Units: frmTarn.cpp lays the window out and handles its own events and
// settings; frmTarnRun.cpp is the run control; frmTarnTray.cpp the
// notification-area icon and its menu; frmTarnEditor.cpp the buttons that lead
// into the macro editor (Find Macro, Macro New / Edit, View Trace File);
// frmTarnUnattended.cpp batch mode, the trace of an automatic run and the
// emergency stop key.
//
// Object names of the controls: Label1, txtMacroFile, cmdEdit, cmdMacro,
// cmdViewTraceFile, cmdHelp, cmdGo, cmdStop, Label2, lblActivity, timer,
// mnuSysTrayPopup (with the action mnuSysTrayPopupClose).

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Failure.h"
#include "Platform.h"
#include "clsMacro.h"

class QLabel;
class QLineEdit;
class QMenu;
class QSocketNotifier;
class QSystemTrayIcon;
class QTimer;
class QToolButton;

namespace tarn {

class StopKey;
class TraceFile;

namespace editor {
class frmMacroEditor;
}

class frmTarn : public QWidget {
    Q_OBJECT
  public:
    // Asks a Yes/No question with the question icon; true for Yes. The window
    // passes the text exactly as composed, line breaks as CR LF.
    using QuestionHook =
        std::function<bool(QWidget* poOwner, const QString& psvTitle, const QString& psvText)>;

    // The design of the window, in twips.
    static constexpr int kClientWidthTwips = 7275;
    static constexpr int kClientHeightTwips = 435;
    static constexpr int kActivityHeightTwips = 255;

    // psvCommandLine: absent when the program got no command line at all.
    // The platform's references must outlive the window.
    frmTarn(Platform poPlatform, std::optional<std::string> psvCommandLine,
            QWidget* parent = nullptr);
    ~frmTarn() override;

    // Start-up: file box, mode, position, and in automatic mode the whole run
    // (the window is closed when this returns).
    void Form_Load();

    // Run control (frmTarnRun.cpp).
    void cmdGo_Click();
    void cmdStop_Click();
    void cmdHelp_Click();
    void oMac_DataInQueue(const std::string& psvData);
    void oMac_ShuttingDown();

    // The editor's buttons (frmTarnEditor.cpp).
    void cmdMacro_Click();
    void cmdEdit_Click();
    void cmdViewTraceFile_Click();
    // Puts the file's full path into the file box and opens the editor on it,
    // as Macro New / Edit does: what opening a macro from the desktop does. A
    // file that does not exist yet is a new, empty macro saved there.
    void editFile(const QString& psvPath);
    // The editing window, the one instance of the run: created at its first
    // use and loaded (not shown) by every use.
    editor::frmMacroEditor& macroEditor();
    // The trace viewer once View Trace File has been pressed, else null.
    editor::frmMacroEditor* traceViewer() const { return mfrmViewer.get(); }

    // Notification-area icon (frmTarnTray.cpp).
    void sysTray_MouseDown(int piButton, long plId);
    void timer_Timer();
    void mnuSysTrayPopupClose_Click();

    bool interactive() const { return mbInteractive; }
    bool running() const { return mbRunning; }
    bool traceOpen() const { return mbTraceOpen; }
    bool shuttingDown() const { return mbShuttingDown; }
    const std::string& lastCommand() const { return msvLastCommand; }
    // True once the window has been closed (Form_Unload has run).
    bool unloaded() const { return mbUnloaded; }
    // The process's exit status: 1 when the last run ended in a failure that was
    // not retried, 130 when an automatic run was stopped (the stop key, Close of
    // the notification-area menu), otherwise 0.
    int exitCode() const;
    // The 1-based line the last run failed on when its failure was not
    // retried, 0 otherwise (and for a file that could not be opened): where
    // Macro New / Edit puts the caret.
    std::int32_t failedLine() const { return mlFailedLine; }
    clsMacro& macro() { return *oMac; }
    // The notification-area icon; shown only in automatic mode where a tray exists.
    QSystemTrayIcon* trayIcon() const { return sysTray; }
    QMenu* trayMenu() const { return mnuSysTrayPopup; }

    // Replaces the "Retry ?" message box (tests answer it themselves).
    void setQuestionHook(QuestionHook poHook) { mQuestion = std::move(poHook); }

    // Unattended runs (frmTarnUnattended.cpp), set before Form_Load.
    // Batch mode: a failure asks nothing; its one line goes to the report
    // (standard error unless a hook is set) and the run is not retried.
    using ReportHook = std::function<void(const std::string& psvLine)>;
    void setBatch(bool pbBatch, ReportHook poReport = {});
    // Automatic mode: the run is traced to this file as an interactive run is.
    void setAutomaticTrace(const QString& psvPath);
    // Every record of the trace also goes to the report as it is written.
    void setVerbose(bool pbVerbose) { mbVerbose = pbVerbose; }
    // The file box's text that names standard input; read only in batch mode.
    static constexpr const char* kStandardInput = "-";
    // The emergency stop: watched while a run is under way; its press stops
    // the run as Stop does. nullptr: none. Must outlive the window.
    void setStopKey(StopKey* poKey);
    bool stoppedByStopKey() const { return mbStoppedByKey; }
    // The program ends because the display is gone (psvWhat: "the X display
    // closed"): failure 1013 in the trace and, in batch mode, on standard
    // error as any failure; otherwise "tarn: " and the text.
    void reportGone(const std::string& psvWhat);
    // Where the trace file is written; by default traceFilePath(). Set before
    // the first Start.
    void setTraceFilePath(const QString& psvPath);
    QString traceFilePath() const;

    // The designed size of the window's client area in pixels, without and
    // with the activity row.
    QSize designedSize(bool pbWithActivity) const;
    // The factor the design's twips are multiplied by so that the texts fit the
    // window's font: 1 when they fit as designed.
    double layoutScale() const { return mLayoutScale; }

  protected:
    bool eventFilter(QObject* poWatched, QEvent* poEvent) override;
    void closeEvent(QCloseEvent* poEvent) override;

  private:
    void createControls();
    double fitScale() const;
    void layOut();
    QPoint storedOrCentredPosition() const;
    QPoint centredPosition() const;
    void Form_KeyDown(int& piKeyCode, Qt::KeyboardModifiers piShift);
    void txtMacroFile_GotFocus();
    void Form_Unload();
    // "Last File" (as an absolute path) and the window's position.
    void storeSettings();
    void growByActivityRow(bool pbGrow);

    // Run control helpers (frmTarnRun.cpp).
    void beginTrace();
    void runMacroOnce();
    // The failure handler of Start: true when the failed step is to be
    // carried out again. psvBatchLine: what batch mode reports instead.
    bool retryAfter(const Failure& poFailure, const std::string& psvBatchLine);
    // The macro's name in reports ("<stdin>" for standard input).
    std::string macroName() const;
    // Where the run is, "FILE:LINE" (only FILE before the first line).
    std::string runPosition() const;
    // The failure of the run in the form of tarn --check,
    // "FILE:LINE:COLUMN: error: TEXT [NUMBER]".
    std::string diagnosticOf(const Failure& poFailure) const;
    // A record of the trace: into the trace file when there is one, and to the
    // report as well with setVerbose.
    void traceRecord(const std::string& psvLine);
    bool tracing() const { return mbInteractive || mbAutomaticTrace; }
    void stopKey_Pressed();
    // The run is under way (true) or over or waiting for an answer (false).
    void watchStopKey(bool pbWatch);
    static bool askWithMessageBox(QWidget* poOwner, const QString& psvTitle,
                                  const QString& psvText);

    // The editor's buttons (frmTarnEditor.cpp): connected at creation; the
    // editor's saved paths reach the file box.
    void connectEditorButtons();
    void closeEditorWindows();

    // Notification-area icon helpers (frmTarnTray.cpp).
    void createTray();
    void setInTray(bool pbInTray);

    Platform mPlatform;
    std::unique_ptr<clsMacro> oMac;
    std::optional<std::string> msvCommandLine;
    bool mbInteractive = true;
    std::string msvLastCommand;
    std::int32_t mlFailedLine = 0;
    QString msvFailedFile;  // the file box's text for that run
    std::unique_ptr<TraceFile> miTraceFile;
    QString msvTracePath;
    bool mbTraceOpen = false;
    bool mbTrayClicked = false;
    bool mbShuttingDown = false;
    bool mbRunning = false;
    bool mbRunFailed = false;
    bool mbUnloaded = false;
    QuestionHook mQuestion;
    std::unique_ptr<editor::frmMacroEditor> mfrmEditor;
    std::unique_ptr<editor::frmMacroEditor> mfrmViewer;
    double mLayoutScale = 1.0;
    bool mbBatch = false;
    bool mbAutomaticTrace = false;
    bool mbStoppedByKey = false;
    bool mbClosedFromTray = false;
    bool mbVerbose = false;
    bool mbTraceFailed = false;
    ReportHook mReport;
    StopKey* mStopKey = nullptr;
    QSocketNotifier* mStopNotifier = nullptr;

    QLabel* Label1 = nullptr;
    QLineEdit* txtMacroFile = nullptr;
    QToolButton* cmdEdit = nullptr;
    QToolButton* cmdMacro = nullptr;
    QToolButton* cmdViewTraceFile = nullptr;
    QToolButton* cmdHelp = nullptr;
    QToolButton* cmdGo = nullptr;
    QToolButton* cmdStop = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lblActivity = nullptr;
    QTimer* timer = nullptr;
    QSystemTrayIcon* sysTray = nullptr;
    QMenu* mnuSysTrayPopup = nullptr;
};

}  // namespace tarn
