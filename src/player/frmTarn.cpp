// The player window: its controls, start-up, key preview and closing.
#include "frmTarn.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

#include "Help.h"
#include "Icons.h"
#include "ProgramInfo.h"
#include "Settings.h"
#include "TraceFile.h"
#include "Twips.h"
#include "modGlobal.h"

namespace tarn {

namespace {

struct TwipsRect {
    int left, top, width, height;
};

constexpr TwipsRect kLabel1{60, 120, 855, 255};
constexpr TwipsRect kTxtMacroFile{960, 60, 4395, 315};
constexpr TwipsRect kCmdEdit{5400, 60, 315, 315};
constexpr TwipsRect kCmdMacro{5700, 60, 315, 315};
constexpr TwipsRect kCmdViewTraceFile{6000, 60, 315, 315};
constexpr TwipsRect kCmdHelp{6300, 60, 315, 315};
constexpr TwipsRect kCmdGo{6600, 60, 315, 315};
constexpr TwipsRect kCmdStop{6900, 60, 315, 315};
constexpr TwipsRect kLabel2{60, 480, 855, 255};
constexpr TwipsRect kLblActivity{1020, 480, 6195, 255};

constexpr int kTimerIntervalMs = 100;
constexpr int kF1KeyCode = 112;

void place(QWidget* poControl, const TwipsRect& poRect, const QWidget* poWindow) {
    poControl->setGeometry(twipsToPixels(poRect.left, poWindow, Qt::Horizontal),
                           twipsToPixels(poRect.top, poWindow, Qt::Vertical),
                           twipsToPixels(poRect.width, poWindow, Qt::Horizontal),
                           twipsToPixels(poRect.height, poWindow, Qt::Vertical));
}

QToolButton* pictureButton(QWidget* poParent, const char* psvName, TarnIcon piIcon,
                           const char* psvToolTip) {
    auto* button = new QToolButton(poParent);
    button->setObjectName(QLatin1String(psvName));
    button->setIcon(tarnIcon(piIcon));
    button->setToolTip(QString::fromLatin1(psvToolTip));
    // The tool tip is the button's only text; screen readers get it too.
    button->setAccessibleName(QString::fromLatin1(psvToolTip).trimmed());
    button->setAutoRaise(false);
    return button;
}

}  // namespace

frmTarn::frmTarn(Platform poPlatform, std::optional<std::string> psvCommandLine, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      mPlatform(poPlatform),
      msvCommandLine(std::move(psvCommandLine)),
      mQuestion(&frmTarn::askWithMessageBox) {
    setObjectName(QStringLiteral("frmTarn"));
    setWindowIcon(tarnIcon(TarnIcon::Program));
    setWindowTitle(QStringLiteral("Tarn - Interactive Screen"));
    createControls();
    layOut();
    setBatch(false);

    oMac = std::make_unique<clsMacro>(mPlatform);
    oMac->DataInQueue = [this](const std::string& psvData) { oMac_DataInQueue(psvData); };
    oMac->ShuttingDown = [this] { oMac_ShuttingDown(); };
}

frmTarn::~frmTarn() {
    // The interpreter's events point at this window; a run cannot be under
    // way here (it lives inside cmdGo_Click on this object), but the handlers
    // must not outlive it either.
    if (oMac) {
        oMac->DataInQueue = nullptr;
        oMac->ShuttingDown = nullptr;
    }
    setStopKey(nullptr);
}

void frmTarn::createControls() {
    Label1 = new QLabel(QStringLiteral("Macro &File:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));

    txtMacroFile = new QLineEdit(this);
    txtMacroFile->setObjectName(QStringLiteral("txtMacroFile"));
    Label1->setBuddy(txtMacroFile);

    cmdEdit = pictureButton(this, "cmdEdit", TarnIcon::Edit, " Macro New / Edit ");
    cmdMacro = pictureButton(this, "cmdMacro", TarnIcon::FindMacro, " Find Macro ");
    cmdViewTraceFile =
        pictureButton(this, "cmdViewTraceFile", TarnIcon::ViewTrace, " View Trace File ");
    cmdHelp = pictureButton(this, "cmdHelp", TarnIcon::Help, " Help ");
    cmdGo = pictureButton(this, "cmdGo", TarnIcon::Start, " Start ");
    cmdStop = pictureButton(this, "cmdStop", TarnIcon::Stop, " Stop ");
    // The editor's buttons get their actions with the editor.
    cmdEdit->setEnabled(false);
    cmdMacro->setEnabled(false);
    cmdViewTraceFile->setEnabled(false);

    Label2 = new QLabel(QStringLiteral("Activity:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    lblActivity = new QLabel(this);
    lblActivity->setObjectName(QStringLiteral("lblActivity"));
    // A macro line is shown as written: no rich text, no mnemonics.
    lblActivity->setTextFormat(Qt::PlainText);

    connect(cmdGo, &QToolButton::clicked, this, [this] { cmdGo_Click(); });
    connect(cmdStop, &QToolButton::clicked, this, [this] { cmdStop_Click(); });
    connect(cmdHelp, &QToolButton::clicked, this, [this] { cmdHelp_Click(); });

    timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("timer"));
    timer->setInterval(kTimerIntervalMs);
    connect(timer, &QTimer::timeout, this, [this] { timer_Timer(); });
    timer->start();

    createTray();

    // Key preview: the window sees every key before the control with the focus.
    installEventFilter(this);
    for (QWidget* control : findChildren<QWidget*>()) {
        if (control != mnuSysTrayPopup) control->installEventFilter(this);
    }
}

void frmTarn::layOut() {
    place(Label1, kLabel1, this);
    place(txtMacroFile, kTxtMacroFile, this);
    place(cmdEdit, kCmdEdit, this);
    place(cmdMacro, kCmdMacro, this);
    place(cmdViewTraceFile, kCmdViewTraceFile, this);
    place(cmdHelp, kCmdHelp, this);
    place(cmdGo, kCmdGo, this);
    place(cmdStop, kCmdStop, this);
    place(Label2, kLabel2, this);
    place(lblActivity, kLblActivity, this);
    const int icon = std::max(8, cmdGo->height() - 6);
    for (QToolButton* button : {cmdEdit, cmdMacro, cmdViewTraceFile, cmdHelp, cmdGo, cmdStop})
        button->setIconSize(QSize(icon, icon));
    // Fixed single border: the size only changes by the activity row.
    setFixedSize(designedSize(false));
}

QSize frmTarn::designedSize(bool pbWithActivity) const {
    const int height = kClientHeightTwips + (pbWithActivity ? kActivityHeightTwips : 0);
    return QSize(twipsToPixels(kClientWidthTwips, this, Qt::Horizontal),
                 twipsToPixels(height, this, Qt::Vertical));
}

void frmTarn::growByActivityRow(bool pbGrow) {
    setFixedSize(designedSize(pbGrow));
}

void frmTarn::setTraceFilePath(const QString& psvPath) {
    msvTracePath = psvPath;
    miTraceFile.reset();
}

QString frmTarn::traceFilePath() const {
    return msvTracePath.isEmpty() ? tarn::traceFilePath() : msvTracePath;
}

void frmTarn::Form_Load() {
    gsvQuote = "\"";
    txtMacroFile->setText(QString::fromStdString(StripQuotes(msvCommandLine.value_or(""))));
    if (txtMacroFile->text().isEmpty()) {
        txtMacroFile->setText(
            GetSetting(executableAppName(), kSectionRecentFileList, kKeyLastFile, QString()));
    }
    // The mode looks at the command line as received: a pair of quotes alone
    // is still a command line.
    mbInteractive = !msvCommandLine.has_value();

    if (mbInteractive) {
        setHelpFile(programHelpFile());
        move(storedOrCentredPosition());
        show();
        return;
    }
    setWindowTitle(QStringLiteral("Tarn"));
    // Never shown; its position is the one it was created with, which closing
    // stores like any other.
    move(centredPosition());
    hide();
    setInTray(true);
    QCoreApplication::processEvents();
    cmdGo_Click();
}

QPoint frmTarn::centredPosition() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect desktop = screen ? screen->geometry() : QRect(0, 0, 800, 600);
    const QSize window = frameGeometry().size();
    return QPoint(desktop.x() + desktop.width() / 2 - window.width() / 2,
                  desktop.y() + desktop.height() / 2 - window.height() / 2);
}

QPoint frmTarn::storedOrCentredPosition() const {
    const QPoint centred = centredPosition();
    const float defaultLeft = static_cast<float>(pixelsToTwips(centred.x(), this, Qt::Horizontal));
    const float defaultTop = static_cast<float>(pixelsToTwips(centred.y(), this, Qt::Vertical));
    const float left = readSingle(appTitle(), kSectionSettings, kKeyLeft, defaultLeft);
    const float top = readSingle(appTitle(), kSectionSettings, kKeyTop, defaultTop);
    const QPoint stored(twipsToPixels(left, this, Qt::Horizontal),
                        twipsToPixels(top, this, Qt::Vertical));
    // A position stored on a screen that is no longer there would put the
    // window out of reach; it must at least show its title bar somewhere.
    const QRect titleBar(stored, QSize(frameGeometry().width(), 16));
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->geometry().intersects(titleBar)) return stored;
    }
    return centred;
}

bool frmTarn::eventFilter(QObject* poWatched, QEvent* poEvent) {
    if (poEvent->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(poEvent);
        int keyCode = key->key() == Qt::Key_F1 ? kF1KeyCode : 0;
        if (keyCode != 0) {
            Form_KeyDown(keyCode, key->modifiers());
            if (keyCode == 0) return true;
        }
    } else if (poEvent->type() == QEvent::FocusIn && poWatched == txtMacroFile) {
        txtMacroFile_GotFocus();
    }
    return QWidget::eventFilter(poWatched, poEvent);
}

void frmTarn::Form_KeyDown(int& piKeyCode, Qt::KeyboardModifiers) {
    if (piKeyCode != kF1KeyCode) return;
    showHelpTopics(this);
    piKeyCode = 0;
}

void frmTarn::txtMacroFile_GotFocus() {
    txtMacroFile->selectAll();
}

void frmTarn::cmdHelp_Click() {
    showHelpTopics(this);
}

void frmTarn::closeEvent(QCloseEvent* poEvent) {
    Form_Unload();
    poEvent->accept();
}

void frmTarn::Form_Unload() {
    if (mbUnloaded) return;
    mbUnloaded = true;
    setInTray(false);
    cmdStop_Click();
    SaveSetting(executableAppName(), kSectionRecentFileList, kKeyLastFile, txtMacroFile->text());
    if (!isMinimized()) {
        const QPoint edge = pos();
        SaveSetting(appTitle(), kSectionSettings, kKeyLeft,
                    numberText(static_cast<float>(pixelsToTwips(edge.x(), this, Qt::Horizontal))));
        SaveSetting(appTitle(), kSectionSettings, kKeyTop,
                    numberText(static_cast<float>(pixelsToTwips(edge.y(), this, Qt::Vertical))));
    }
    // Every other window of the program closes by its own rules.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this && window->isVisible()) window->close();
    }
}

}  // namespace tarn
