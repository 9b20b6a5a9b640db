// SPDX-License-Identifier: GPL-3.0-or-later
// The editor window: its menus, toolbar and text area, loading, closing and
// the stored geometry, help and the about box, and the message hooks.
#include "frmMacroEditor.h"

#include <QAction>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolBar>

#include "CommonDialog.h"
#include "Help.h"
#include "Icons.h"
#include "MacroFiles.h"
#include "ProgramInfo.h"
#include "Recording.h"
#include "RecoveryCopy.h"
#include "Settings.h"
#include "Twips.h"
#include "frmAbout.h"

namespace tarn::editor {

const QString frmMacroEditor::kUntitledCaption = QStringLiteral("Untitled - Tarn Macro Editor");

namespace {

frmMacroEditor::QuestionHook& questionHook() {
    static frmMacroEditor::QuestionHook hook;
    return hook;
}
frmMacroEditor::ReportHook& reportHook() {
    static frmMacroEditor::ReportHook hook;
    return hook;
}

// The toolbar's buttons, left to right: key, icon, tool tip.
struct ToolbarButton {
    const char* key;
    TarnIcon icon;
    const char* toolTip;
};
constexpr ToolbarButton kToolbarButtons[] = {
    {"New", TarnIcon::New, "New"},       {"Open", TarnIcon::Open, "Open"},
    {"Save", TarnIcon::Save, "Save"},    {"Print", TarnIcon::Print, "Print"},
    {"Cut", TarnIcon::Cut, "Cut"},       {"Copy", TarnIcon::Copy, "Copy"},
    {"Paste", TarnIcon::Paste, "Paste"}, {"Record", TarnIcon::Record, "Recorder On/Off"},
};

// A message box at least as wide as its title, so that the window manager
// shows the title whole ("Save the current file" is shorter than "Tarn Macro
// Editor" with the title bar's buttons).
void fitTitle(QMessageBox& poBox) {
    auto* grid = qobject_cast<QGridLayout*>(poBox.layout());
    if (!grid) return;
    // The title bar's font is the window manager's; the application's bold
    // font with room for its icon and buttons is a fair stand-in.
    QFont font = poBox.font();
    font.setBold(true);
    const int width =
        QFontMetrics(font).horizontalAdvance(poBox.windowTitle()) + 8 * QFontMetrics(font).height();
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

// The saved-path hook lives in frmMacroEditorFiles.cpp, beside its one user.

void frmMacroEditor::setQuestionHook(QuestionHook poHook) {
    questionHook() = std::move(poHook);
}

void frmMacroEditor::setReportHook(ReportHook poHook) {
    reportHook() = std::move(poHook);
}

bool frmMacroEditor::ask(const QString& psvTitle, const QString& psvText) {
    QWidget* owner = isVisible() ? this : nullptr;
    if (questionHook()) return questionHook()(owner, psvTitle, psvText);
    QMessageBox box(QMessageBox::Question, psvTitle, QString(psvText).replace("\r\n", "\n"),
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::Yes);
    fitTitle(box);
    return box.exec() == QMessageBox::Yes;
}

void frmMacroEditor::report(const QString& psvTitle, const QString& psvText) {
    QWidget* owner = isVisible() ? this : nullptr;
    if (reportHook()) {
        reportHook()(owner, psvTitle, psvText);
        return;
    }
    QMessageBox box(QMessageBox::Warning, psvTitle, QString(psvText).replace("\r\n", "\n"),
                    QMessageBox::Ok, owner);
    fitTitle(box);
    box.exec();
}

frmMacroEditor::frmMacroEditor(QWidget* parent)
    : QMainWindow(parent), cdlgMac(std::make_unique<CommonDialog>(this)) {
    setObjectName(QStringLiteral("frmMacroEditor"));
    setWindowIcon(tarnIcon(TarnIcon::Program));
    setWindowTitle(kUntitledCaption);
    createMenus();
    createToolBar();
    createTextArea();
    createLanguageAids();
    connectTemplates();
    connectRecorder();
    connectSearch();
    connectDiskWatch();
    mFiles = std::make_unique<MacroFiles>(*mDocument, *txtEdit, *this, *cdlgMac);
    mRecovery = std::make_unique<RecoveryCopy>(*mDocument, *txtEdit);
}

frmMacroEditor::~frmMacroEditor() {
    removeRightButtonMenu();
}

QMenu* frmMacroEditor::addMenu(QMenu* poParent, const char* psvName, const QString& psvCaption) {
    QMenu* added = poParent ? poParent->addMenu(psvCaption) : menuBar()->addMenu(psvCaption);
    added->setObjectName(QLatin1String(psvName));
    added->menuAction()->setObjectName(QLatin1String(psvName));
    mMenus[QLatin1String(psvName)] = added;
    return added;
}

QAction* frmMacroEditor::addEntry(QMenu* poMenu, const char* psvName, const QString& psvCaption,
                                  const QKeySequence& poShortcut, std::function<void()> poHandler) {
    QAction* action = poMenu->addAction(psvCaption);
    action->setObjectName(QLatin1String(psvName));
    action->setShortcut(poShortcut);
    if (poHandler) connect(action, &QAction::triggered, this, [poHandler] { poHandler(); });
    mEntries[QLatin1String(psvName)] = action;
    return action;
}

QAction* frmMacroEditor::addSeparator(QMenu* poMenu, const char* psvName) {
    QAction* separator = poMenu->addSeparator();
    separator->setObjectName(QLatin1String(psvName));
    mEntries[QLatin1String(psvName)] = separator;
    return separator;
}

QAction* frmMacroEditor::entry(const QString& psvName) const {
    const auto found = mEntries.find(psvName);
    return found == mEntries.end() ? nullptr : found->second;
}

QMenu* frmMacroEditor::menu(const QString& psvName) const {
    const auto found = mMenus.find(psvName);
    return found == mMenus.end() ? nullptr : found->second;
}

void frmMacroEditor::createMenus() {
    const QKeySequence none;
    QMenu* file = addMenu(nullptr, "mnuFile", QStringLiteral("&File"));
    addEntry(file, "mnuFileNew", QStringLiteral("&New"), QKeySequence(Qt::CTRL | Qt::Key_N),
             [this] { mnuFileNew_Click(); });
    addEntry(file, "mnuFileOpen", QStringLiteral("&Open..."), QKeySequence(Qt::CTRL | Qt::Key_O),
             [this] { mnuFileOpen_Click(); });
    addEntry(file, "mnuFileSave", QStringLiteral("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S),
             [this] { mnuFileSave_Click(); });
    addEntry(file, "mnuFileSaveAs", QStringLiteral("Save &As..."), none,
             [this] { mnuFileSaveAs_Click(); });
    addSeparator(file, "mnuFileSep0");
    addEntry(file, "mnuFilePrinterSetup", QStringLiteral("Printer Se&tup..."), none,
             [this] { mnuFilePrinterSetup_Click(); });
    addEntry(file, "mnuFilePrint", QStringLiteral("&Print"), QKeySequence(Qt::CTRL | Qt::Key_P),
             [this] { mnuFilePrint_Click(); });
    addSeparator(file, "mnuFileSep1");
    addEntry(file, "mnuFileExit", QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q),
             [this] { mnuFileExit_Click(); });

    QMenu* edit = addMenu(nullptr, "mnuEdit", QStringLiteral("&Edit"));
    addEntry(edit, "mnuEditUndo", QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z),
             [this] { mnuEditUndo_Click(); });
    addSeparator(edit, "mnuEditSep0");
    addEntry(edit, "mnuEditCut", QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X),
             [this] { mnuEditCut_Click(); });
    addEntry(edit, "mnuEditCopy", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C),
             [this] { mnuEditCopy_Click(); });
    addEntry(edit, "mnuEditPaste", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V),
             [this] { mnuEditPaste_Click(); });
    addEntry(edit, "mnuEditDelete", QStringLiteral("De&lete"), QKeySequence(Qt::Key_Delete),
             [this] { mnuEditDelete_Click(); });
    addSeparator(edit, "mnuEditSep1");
    // No shortcut: Ctrl+A is About.
    addEntry(edit, "mnuEditSelectAll", QStringLiteral("Select &All"), none,
             [this] { mnuEditSelectAll_Click(); });

    // Find and replace joins these entries with the find dialog.
    QMenu* search = addMenu(nullptr, "mnuSearch", QStringLiteral("&Search"));
    addEntry(search, "mnuSearchFind", QStringLiteral("&Find / Replace..."),
             QKeySequence(Qt::CTRL | Qt::Key_F), nullptr);
    addEntry(search, "mnuSearchFindNext", QStringLiteral("Find &Next"), QKeySequence(Qt::Key_F3),
             nullptr);

    // The templates and the recorder join these entries with their units.
    QMenu* wizard = addMenu(nullptr, "mnuMacro", QStringLiteral("&Wizard"));
    addEntry(wizard, "mnuMacroRecord", QStringLiteral("&Recorder On/Off"), none, nullptr);
    addSeparator(wizard, "mnuMacroSep0");
    const std::pair<const char*, const char*> templates[] = {
        {"mnuMacroInsertRun", "&Run..."},
        {"mnuMacroInsertRunExecute", "Run&Execute..."},
        {"mnuMacroInsertSetfocus", "Set&Focus"},
        {"mnuMacroInsertSend", "&Send"},
        {"mnuMacroInsertWait", "&Wait"},
        {"mnuMacroInsertTimeOut", "&TimeOut"},
        {"mnuMacroInsertGetWindowID", "&GetWindowID"},
        {"mnuMacroInsertGetProcessID", "Get&ProcessID"},
        {"mnuMacroInsertCloseWndow", "&CloseWindow"},
        {"mnuMacroInsertKillProcess", "&KillProcess"},
        {"mnuMacroInsertShutDownWIndows", "Shut&DownWindows"},
        {"mnuMacroInsertRem", "&Remark"},
    };
    for (const auto& [name, caption] : templates)
        addEntry(wizard, name, QString::fromLatin1(caption), none, nullptr);
    addSeparator(wizard, "mnuMacroSep2");
    QMenu* options = addMenu(wizard, "mnuMacroOptions", QStringLiteral("&Options"));
    addEntry(options, "mnuSetDefaultRunWait", QStringLiteral("&Set Default Run Wait..."), none,
             nullptr);
    // Shown only while recording, so the Edit commands stay reachable then.
    addSeparator(wizard, "mnuMacroSep1")->setVisible(false);
    mnuMacroEditMenu = addMenu(wizard, "mnuMacroEditMenu", QStringLiteral("&Edit Menu"));
    mnuMacroEditMenu->menuAction()->setVisible(false);
    addEntry(mnuMacroEditMenu, "mnuMacroEditMenuUndo", QStringLiteral("&Undo"), none,
             [this] { mnuEditUndo_Click(); });
    addSeparator(mnuMacroEditMenu, "mnuMacroEditMenuSep0");
    addEntry(mnuMacroEditMenu, "mnuMacroEditMenuCut", QStringLiteral("Cu&t"), none,
             [this] { mnuEditCut_Click(); });
    addEntry(mnuMacroEditMenu, "mnuMacroEditMenuCopy", QStringLiteral("&Copy"), none,
             [this] { mnuEditCopy_Click(); });
    addEntry(mnuMacroEditMenu, "mnuMacroEditMenuPaste", QStringLiteral("&Paste"), none,
             [this] { mnuEditPaste_Click(); });
    addEntry(mnuMacroEditMenu, "mnuMacroEditMenuDelete", QStringLiteral("&Delete"), none,
             [this] { mnuEditDelete_Click(); });
    addSeparator(mnuMacroEditMenu, "mnuMacroEditMenuSep1");
    addEntry(mnuMacroEditMenu, "mnuMacroEditMenuSelectAll", QStringLiteral("Select &All"), none,
             [this] { mnuEditSelectAll_Click(); });

    QMenu* help = addMenu(nullptr, "mnuHelp", QStringLiteral("&Help"));
    addEntry(help, "mnuHelpContents", QStringLiteral("&Contents"), QKeySequence(Qt::Key_F1),
             [this] { mnuHelpContents_Click(); });
    addEntry(help, "mnuHelpIndex", QStringLiteral("&Index"), none,
             [this] { mnuHelpIndex_Click(); });
    addSeparator(help, "mnuHelpSep0");
    addEntry(help, "mnuHelpAbout", QStringLiteral("&About"), QKeySequence(Qt::CTRL | Qt::Key_A),
             [this] { mnuHelpAbout_Click(); });
}

void frmMacroEditor::createToolBar() {
    tbToolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setMovable(false);
    tbToolBar->setFloatable(false);
    // The toolbar is always there in the editor; no menu of its own hides it.
    tbToolBar->toggleViewAction()->setEnabled(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    for (const ToolbarButton& button : kToolbarButtons) {
        QAction* action = tbToolBar->addAction(tarnIcon(button.icon), QLatin1String(button.key));
        action->setObjectName(QStringLiteral("tbToolBar") + QLatin1String(button.key));
        action->setData(QLatin1String(button.key));
        action->setToolTip(QLatin1String(button.toolTip));
        const QString key = QLatin1String(button.key);
        if (key == QLatin1String("Record")) action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, action, key] {
            // A click toggles a checkable button by itself; only the recorder
            // says whether "Record" is pressed.
            if (action->isCheckable()) {
                const QSignalBlocker quiet(action);
                action->setChecked(!action->isChecked());
            }
            tbToolBar_ButtonClick(key);
        });
    }
    addToolBar(Qt::TopToolBarArea, tbToolBar);
}

void frmMacroEditor::setToolbarButtonPressed(const QString& psvKey, bool pbPressed) {
    for (QAction* action : tbToolBar->actions()) {
        if (action->data().toString() == psvKey) {
            action->setCheckable(true);
            action->setChecked(pbPressed);
        }
    }
}

void frmMacroEditor::DisableMenus() {
    for (const char* name : {"mnuFile", "mnuEdit", "mnuSearch", "mnuHelp", "mnuMacro"})
        mMenus[QLatin1String(name)]->menuAction()->setEnabled(false);
}

void frmMacroEditor::EnableMenus() {
    for (const char* name : {"mnuFile", "mnuEdit", "mnuSearch", "mnuHelp", "mnuMacro"})
        mMenus[QLatin1String(name)]->menuAction()->setEnabled(true);
}

void frmMacroEditor::Load() {
    if (!mbLoaded) Form_Load();
}

void frmMacroEditor::Form_Load() {
    mbLoaded = true;
    mbUnloading = false;
    readGeometry();
    if (!mbLogMode) {
        miRunWait = readInteger(appTitle(), kSectionSettings, kKeyEditorDefaultRunWait, 5);
    }
    emit formLoaded();
    mnuFileNew_Click();
    // Once the opening that loaded the window is done.
    if (!mbLogMode) QTimer::singleShot(0, this, [this] { offerLeftTexts(); });
}

void frmMacroEditor::readGeometry() {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect desktop = screen ? screen->geometry() : QRect(0, 0, 800, 600);
    const float screenWidth =
        static_cast<float>(pixelsToTwips(desktop.width(), this, Qt::Horizontal));
    const float screenHeight =
        static_cast<float>(pixelsToTwips(desktop.height(), this, Qt::Vertical));
    const bool viewer = mbLogMode;
    const QString app = appTitle();
    const QString section = QLatin1String(kSectionSettings);
    // Read in this order so that the default position centres the window of
    // the size just read.
    const float width =
        readSingle(app, section, viewer ? kKeyLogViewerWidth : kKeyEditorWidth, 0.7f * screenWidth);
    const float height = readSingle(app, section, viewer ? kKeyLogViewerHeight : kKeyEditorHeight,
                                    0.7f * screenHeight);
    const float left = readSingle(app, section, viewer ? kKeyLogViewerLeft : kKeyEditorLeft,
                                  screenWidth / 2 - width / 2);
    const float top = readSingle(app, section, viewer ? kKeyLogViewerTop : kKeyEditorTop,
                                 screenHeight / 2 - height / 2);
    if (isMaximized() || isMinimized()) showNormal();
    resize(std::max(1, twipsToPixels(width, this, Qt::Horizontal)),
           std::max(1, twipsToPixels(height, this, Qt::Vertical)));
    move(desktop.x() + twipsToPixels(left, this, Qt::Horizontal),
         desktop.y() + twipsToPixels(top, this, Qt::Vertical));
}

void frmMacroEditor::writeGeometry() {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QPoint origin = screen ? screen->geometry().topLeft() : QPoint();
    const bool viewer = mbLogMode;
    const QString app = appTitle();
    const QString section = QLatin1String(kSectionSettings);
    const auto twips = [this](int piPixels, Qt::Orientation piDirection) {
        return numberText(static_cast<float>(pixelsToTwips(piPixels, this, piDirection)));
    };
    SaveSetting(app, section, viewer ? kKeyLogViewerLeft : kKeyEditorLeft,
                twips(pos().x() - origin.x(), Qt::Horizontal));
    SaveSetting(app, section, viewer ? kKeyLogViewerTop : kKeyEditorTop,
                twips(pos().y() - origin.y(), Qt::Vertical));
    SaveSetting(app, section, viewer ? kKeyLogViewerWidth : kKeyEditorWidth,
                twips(width(), Qt::Horizontal));
    SaveSetting(app, section, viewer ? kKeyLogViewerHeight : kKeyEditorHeight,
                twips(height(), Qt::Vertical));
}

void frmMacroEditor::Unload() {
    if (mbLoaded) close();
}

void frmMacroEditor::closeEvent(QCloseEvent* poEvent) {
    if (mbLoaded && !mbUnloading) {
        // The one thing that keeps the window: the user chose to save a
        // changed text and it was not saved. The question comes first, so a
        // window that stays has lost nothing of its state.
        if (!NewText()) {
            poEvent->ignore();
            return;
        }
        mbUnloading = true;
        Form_QueryUnload();
        Form_Unload();
        mbLoaded = false;
        mbUnloading = false;
    }
    poEvent->accept();
}

void frmMacroEditor::Form_QueryUnload() {
    const Qt::WindowStates state = windowState();
    if (!(state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
        writeGeometry();
}

void frmMacroEditor::Form_Unload() {
    emit formUnloading();
    removeRightButtonMenu();
    // The text was offered for saving before; this clears it.
    mnuFileNew_Click();
}

void frmMacroEditor::mnuHelpContents_Click() {
    showHelpTopics(this);
}

void frmMacroEditor::mnuHelpIndex_Click() {
    showHelpIndex(this, QString());
}

void frmMacroEditor::mnuHelpAbout_Click() {
    frmAbout about(this);
    about.exec();
}

}  // namespace tarn::editor
