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
// settings; frmTarnRun.cpp connects the window to the run control (MacroRun.h)
// and shows its trace and questions; frmTarnTray.cpp the
// notification-area icon and its menu; frmTarnEditor.cpp the buttons that lead
// into the macro editor (Find Macro, Macro New / Edit, View Trace File);
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

#include "MacroRun.h"
#include "Platform.h"

class QLabel;
class QLineEdit;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class QToolButton;

namespace tarn {

class StopKey;

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
    bool running() const { return mRun.running(); }
    bool traceOpen() const { return mRun.traceOpen(); }
    bool shuttingDown() const { return mRun.shuttingDown(); }
    const std::string& lastCommand() const { return mRun.lastCommand(); }
    // True once the window has been closed (Form_Unload has run).
    bool unloaded() const { return mbUnloaded; }
    // The process's exit status: 1 when the last run ended in a failure that was
    // not retried, 130 when an automatic run was stopped (the stop key, Close of
    // the notification-area menu), otherwise 0.
    int exitCode() const { return mRun.exitCode(); }
    // The 1-based line the last run failed on when its failure was not
    // retried, 0 otherwise (and for a file that could not be opened): where
    // Macro New / Edit puts the caret.
    std::int32_t failedLine() const { return mRun.failedLine(); }
    clsMacro& macro() { return mRun.macro(); }
    MacroRun& run() { return mRun; }
    // The notification-area icon; shown only in automatic mode where a tray exists.
    QSystemTrayIcon* trayIcon() const { return sysTray; }
    QMenu* trayMenu() const { return mnuSysTrayPopup; }

    // Replaces the "Retry ?" message box (tests answer it themselves).
    void setQuestionHook(QuestionHook poHook) { mQuestion = std::move(poHook); }

    // Unattended runs, set before Form_Load (MacroRun.h says what each does).
    using ReportHook = MacroRun::ReportHook;
    void setBatch(bool pbBatch, ReportHook poReport = {}) {
        mRun.setBatch(pbBatch, std::move(poReport));
    }
    void setAutomaticTrace(const QString& psvPath) { mRun.setAutomaticTrace(psvPath); }
    void setVerbose(bool pbVerbose) { mRun.setVerbose(pbVerbose); }
    void setStopKey(StopKey* poKey) { mRun.setStopKey(poKey); }
    bool stoppedByStopKey() const { return mRun.stoppedByStopKey(); }
    void reportGone(const std::string& psvWhat) { mRun.reportGone(psvWhat); }
    void setTraceFilePath(const QString& psvPath) { mRun.setTraceFilePath(psvPath); }
    QString traceFilePath() const { return mRun.traceFilePath(); }

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

    // The window's part in the run control (frmTarnRun.cpp).
    void connectRun();
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
    MacroRun mRun;
    std::optional<std::string> msvCommandLine;
    bool mbInteractive = true;
    bool mbTrayClicked = false;
    bool mbUnloaded = false;
    QuestionHook mQuestion;
    std::unique_ptr<editor::frmMacroEditor> mfrmEditor;
    std::unique_ptr<editor::frmMacroEditor> mfrmViewer;
    double mLayoutScale = 1.0;

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
