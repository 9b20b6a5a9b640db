// SPDX-License-Identifier: GPL-3.0-or-later
// The player window: its controls, start-up, key preview and closing.
#include "frmTarn.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "Help.h"
#include "Icons.h"
#include "OnScreen.h"
#include "ProgramInfo.h"
#include "Settings.h"
#include "TraceFile.h"
#include "Twips.h"
#include "frmMacroEditor.h"
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

// Places a control at its design position, every twips value multiplied by
// pdScale. Edges are rounded, not sizes, so that neighbours stay flush.
void place(QWidget* poControl, const TwipsRect& poRect, double pdScale, const QWidget* poWindow) {
    auto x = [&](double twips) { return twipsToPixels(twips * pdScale, poWindow, Qt::Horizontal); };
    auto y = [&](double twips) { return twipsToPixels(twips * pdScale, poWindow, Qt::Vertical); };
    poControl->setGeometry(x(poRect.left), y(poRect.top),
                           x(poRect.left + poRect.width) - x(poRect.left),
                           y(poRect.top + poRect.height) - y(poRect.top));
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
      mRun(poPlatform),
      msvCommandLine(std::move(psvCommandLine)),
      mQuestion(&frmTarn::askWithMessageBox) {
    setObjectName(QStringLiteral("frmTarn"));
    setWindowIcon(tarnIcon(TarnIcon::Program));
    setWindowTitle(QStringLiteral("Tarn - Interactive Screen"));
    createControls();
    layOut();
    connectRun();
}

frmTarn::~frmTarn() {
    editor::frmMacroEditor::setSavedPathHook(nullptr);
}

void frmTarn::createControls() {
    // Labels show their text at the top, level with the text in the file box;
    // the activity row is only partly inside the window.
    Label1 = new QLabel(QStringLiteral("Macro &File:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

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

    Label2 = new QLabel(QStringLiteral("Activity:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblActivity = new QLabel(this);
    lblActivity->setObjectName(QStringLiteral("lblActivity"));
    // A macro line is shown as written: no rich text, no mnemonics.
    lblActivity->setTextFormat(Qt::PlainText);
    lblActivity->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    connect(cmdGo, &QToolButton::clicked, this, [this] { cmdGo_Click(); });
    // Enter in the file box starts the run, as a typed path is meant to be run.
    connect(txtMacroFile, &QLineEdit::returnPressed, this, [this] { cmdGo_Click(); });
    connect(cmdStop, &QToolButton::clicked, this, [this] { cmdStop_Click(); });
    connect(cmdHelp, &QToolButton::clicked, this, [this] { cmdHelp_Click(); });
    connectEditorButtons();

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

double frmTarn::fitScale() const {
    // The design's twips were made for a small 8-point font; the desktop's font
    // is often larger. Everything grows by the same factor until the widest
    // label and the tallest line fit.
    const QFontMetrics metrics(font());
    // One pixel more than needed: edges are rounded, and a size can lose one.
    auto need = [this](double pixels, double twips, Qt::Orientation direction) {
        return (pixels + 1) / std::max(1, twipsToPixels(twips, this, direction));
    };
    // The activity row shows only the top of its labels (their text is at the
    // top): the part inside the window grown by the row.
    const int activityVisible = kClientHeightTwips + kActivityHeightTwips - kLabel2.top;
    return std::max(
        {1.0, need(Label1->sizeHint().width(), kLabel1.width, Qt::Horizontal),
         need(Label2->sizeHint().width(), kLabel2.width, Qt::Horizontal),
         need(metrics.height(), kLabel1.height, Qt::Vertical),
         need(metrics.height(), activityVisible, Qt::Vertical),
         need(txtMacroFile->minimumSizeHint().height(), kTxtMacroFile.height, Qt::Vertical)});
}

void frmTarn::layOut() {
    mLayoutScale = fitScale();
    place(Label1, kLabel1, mLayoutScale, this);
    place(txtMacroFile, kTxtMacroFile, mLayoutScale, this);
    place(cmdEdit, kCmdEdit, mLayoutScale, this);
    place(cmdMacro, kCmdMacro, mLayoutScale, this);
    place(cmdViewTraceFile, kCmdViewTraceFile, mLayoutScale, this);
    place(cmdHelp, kCmdHelp, mLayoutScale, this);
    place(cmdGo, kCmdGo, mLayoutScale, this);
    place(cmdStop, kCmdStop, mLayoutScale, this);
    place(Label2, kLabel2, mLayoutScale, this);
    place(lblActivity, kLblActivity, mLayoutScale, this);
    const int icon = std::max(8, cmdGo->height() - 6);
    for (QToolButton* button : {cmdEdit, cmdMacro, cmdViewTraceFile, cmdHelp, cmdGo, cmdStop})
        button->setIconSize(QSize(icon, icon));
    // Fixed single border: the size only changes by the activity row.
    setFixedSize(designedSize(false));
}

QSize frmTarn::designedSize(bool pbWithActivity) const {
    const int height = kClientHeightTwips + (pbWithActivity ? kActivityHeightTwips : 0);
    return QSize(twipsToPixels(kClientWidthTwips * mLayoutScale, this, Qt::Horizontal),
                 twipsToPixels(height * mLayoutScale, this, Qt::Vertical));
}

void frmTarn::growByActivityRow(bool pbGrow) {
    setFixedSize(designedSize(pbGrow));
}

void frmTarn::Form_Load() {
    txtMacroFile->setText(QString::fromStdString(StripQuotes(msvCommandLine.value_or(""))));
    if (txtMacroFile->text().isEmpty()) {
        txtMacroFile->setText(
            GetSetting(executableAppName(), kSectionRecentFileList, kKeyLastFile, QString()));
    }
    // The mode looks at the command line as received: a pair of quotes alone
    // is still a command line.
    mbInteractive = !msvCommandLine.has_value();
    mRun.setInteractive(mbInteractive);

    if (mbInteractive) {
        setHelpFile(programHelpFile());
        move(storedOrCentredPosition());
        // A position stored on a larger screen, or with the window half over an
        // edge, still opens the window whole.
        keepOnScreen(this);
        show();
        // Only a shown window has its frame; fit once more with the frame known.
        keepOnScreen(this);
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
    if (mbInteractive) mRun.windowClosed();
    setInTray(false);
    cmdStop_Click();
    // A batch run is a job of a scheduler's: it leaves the user's settings
    // (the last file, the window's place) as the user had them.
    if (!mRun.batch()) storeSettings();
    // Every other window of the program closes by its own rules; the editor
    // and the viewer also when they are loaded but not shown.
    // An editor whose text the user chose to save, and was not saved, stays
    // open, and is not asked again.
    closeEditorWindows();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this && window != mfrmEditor.get() && window != mfrmViewer.get() &&
            window->isVisible()) {
            window->close();
        }
    }
}

void frmTarn::storeSettings() {
    // Relative to the folder Tarn was started in, the path would name another
    // file (or none) when Tarn next starts elsewhere; "~/" is the home folder
    // wherever Tarn starts.
    QString file = txtMacroFile->text();
    if (!file.isEmpty() && !file.startsWith(QStringLiteral("~/")) && QDir::isRelativePath(file))
        file = QDir::cleanPath(QDir::current().absoluteFilePath(file));
    SaveSetting(executableAppName(), kSectionRecentFileList, kKeyLastFile, file);
    if (!isMinimized()) {
        const QPoint edge = pos();
        SaveSetting(appTitle(), kSectionSettings, kKeyLeft,
                    numberText(static_cast<float>(pixelsToTwips(edge.x(), this, Qt::Horizontal))));
        SaveSetting(appTitle(), kSectionSettings, kKeyTop,
                    numberText(static_cast<float>(pixelsToTwips(edge.y(), this, Qt::Vertical))));
    }
}

}  // namespace tarn
