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
// notification-area icon and its menu.
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
class QSystemTrayIcon;
class QTimer;
class QToolButton;

namespace tarn {

class TraceFile;

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
    // not retried, otherwise 0.
    int exitCode() const { return mbRunFailed ? 1 : 0; }
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
    // Where the trace file is written; by default traceFilePath(). Set before
    // the first Start.
    void setTraceFilePath(const QString& psvPath);
    QString traceFilePath() const;

    // The designed size of the window's client area in pixels, without and
    // with the activity row.
    QSize designedSize(bool pbWithActivity) const;

  protected:
    bool eventFilter(QObject* poWatched, QEvent* poEvent) override;
    void closeEvent(QCloseEvent* poEvent) override;

  private:
    void createControls();
    void layOut();
    QPoint storedOrCentredPosition() const;
    QPoint centredPosition() const;
    void Form_KeyDown(int& piKeyCode, Qt::KeyboardModifiers piShift);
    void txtMacroFile_GotFocus();
    void Form_Unload();
    void growByActivityRow(bool pbGrow);

    // Run control helpers (frmTarnRun.cpp).
    void beginTrace();
    void runMacroOnce();
    // The failure handler of Start: true when the failed step is to be
    // carried out again.
    bool retryAfter(const Failure& poFailure);
    static bool askWithMessageBox(QWidget* poOwner, const QString& psvTitle,
                                  const QString& psvText);

    // Notification-area icon helpers (frmTarnTray.cpp).
    void createTray();
    void setInTray(bool pbInTray);

    Platform mPlatform;
    std::unique_ptr<clsMacro> oMac;
    std::optional<std::string> msvCommandLine;
    bool mbInteractive = true;
    std::string msvLastCommand;
    std::int32_t mlFailedLine = 0;
    std::unique_ptr<TraceFile> miTraceFile;
    QString msvTracePath;
    bool mbTraceOpen = false;
    bool mbTrayClicked = false;
    bool mbShuttingDown = false;
    bool mbRunning = false;
    bool mbRunFailed = false;
    bool mbUnloaded = false;
    QuestionHook mQuestion;

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
