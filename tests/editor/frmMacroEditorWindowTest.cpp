// SPDX-License-Identifier: GPL-3.0-or-later
// The editor window itself: every menu entry with its caption, shortcut and
// visibility, the toolbar, the text area, help and the stored geometry.
#include <QApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "Help.h"
#include "ProgramInfo.h"
#include "Settings.h"
#include "Twips.h"

#include "EditorTest.h"

namespace tarn::editor::test {
namespace {

struct EntryCase {
    const char* menu;
    const char* name;
    const char* caption;  // empty: a separator
    const char* shortcut;
    bool visible = true;
};

const EntryCase kEntries[] = {
    {"mnuFile", "mnuFileNew", "&New", "Ctrl+N"},
    {"mnuFile", "mnuFileOpen", "&Open...", "Ctrl+O"},
    {"mnuFile", "mnuFileSave", "&Save", "Ctrl+S"},
    {"mnuFile", "mnuFileSaveAs", "Save &As...", ""},
    {"mnuFile", "mnuFileSep0", "", ""},
    {"mnuFile", "mnuFilePrinterSetup", "Printer Se&tup...", ""},
    {"mnuFile", "mnuFilePrint", "&Print", "Ctrl+P"},
    {"mnuFile", "mnuFileSep1", "", ""},
    {"mnuFile", "mnuFileExit", "E&xit", "Ctrl+Q"},
    {"mnuEdit", "mnuEditUndo", "&Undo", "Ctrl+Z"},
    {"mnuEdit", "mnuEditSep0", "", ""},
    {"mnuEdit", "mnuEditCut", "Cu&t", "Ctrl+X"},
    {"mnuEdit", "mnuEditCopy", "&Copy", "Ctrl+C"},
    {"mnuEdit", "mnuEditPaste", "&Paste", "Ctrl+V"},
    {"mnuEdit", "mnuEditDelete", "De&lete", "Del"},
    {"mnuEdit", "mnuEditSep1", "", ""},
    {"mnuEdit", "mnuEditSelectAll", "Select &All", ""},
    {"mnuSearch", "mnuSearchFind", "&Find / Replace...", "Ctrl+F"},
    {"mnuSearch", "mnuSearchFindNext", "Find &Next", "F3"},
    {"mnuMacro", "mnuMacroRecord", "&Recorder On/Off", ""},
    {"mnuMacro", "mnuMacroSep0", "", ""},
    {"mnuMacro", "mnuMacroInsertRun", "&Run...", ""},
    {"mnuMacro", "mnuMacroInsertRunExecute", "Run&Execute...", ""},
    {"mnuMacro", "mnuMacroInsertSetfocus", "Set&Focus", ""},
    {"mnuMacro", "mnuMacroInsertSend", "&Send", ""},
    {"mnuMacro", "mnuMacroInsertWait", "&Wait", ""},
    {"mnuMacro", "mnuMacroInsertTimeOut", "&TimeOut", ""},
    {"mnuMacro", "mnuMacroInsertGetWindowID", "&GetWindowID", ""},
    {"mnuMacro", "mnuMacroInsertGetProcessID", "Get&ProcessID", ""},
    {"mnuMacro", "mnuMacroInsertCloseWndow", "&CloseWindow", ""},
    {"mnuMacro", "mnuMacroInsertKillProcess", "&KillProcess", ""},
    {"mnuMacro", "mnuMacroInsertShutDownWIndows", "Shut&DownWindows", ""},
    {"mnuMacro", "mnuMacroInsertRem", "&Remark", ""},
    {"mnuMacro", "mnuMacroSep2", "", ""},
    {"mnuMacro", "mnuMacroOptions", "&Options", ""},
    {"mnuMacro", "mnuMacroSep1", "", "", false},
    {"mnuMacro", "mnuMacroEditMenu", "&Edit Menu", "", false},
    {"mnuMacroOptions", "mnuSetDefaultRunWait", "&Set Default Run Wait...", ""},
    {"mnuMacroEditMenu", "mnuMacroEditMenuUndo", "&Undo", ""},
    {"mnuMacroEditMenu", "mnuMacroEditMenuSep0", "", ""},
    {"mnuMacroEditMenu", "mnuMacroEditMenuCut", "Cu&t", ""},
    {"mnuMacroEditMenu", "mnuMacroEditMenuCopy", "&Copy", ""},
    {"mnuMacroEditMenu", "mnuMacroEditMenuPaste", "&Paste", ""},
    {"mnuMacroEditMenu", "mnuMacroEditMenuDelete", "&Delete", ""},
    {"mnuMacroEditMenu", "mnuMacroEditMenuSep1", "", ""},
    {"mnuMacroEditMenu", "mnuMacroEditMenuSelectAll", "Select &All", ""},
    {"mnuHelp", "mnuHelpContents", "&Contents", "F1"},
    {"mnuHelp", "mnuHelpIndex", "&Index", ""},
    {"mnuHelp", "mnuHelpSep0", "", ""},
    {"mnuHelp", "mnuHelpAbout", "&About", "Ctrl+A"},
};

TEST_F(EditorTest, EveryMenuEntryInItsPlaceWithCaptionShortcutAndVisibility) {
    auto form = editor();
    QStringList topLevel;
    for (QAction* top : form->menuBar()->actions())
        topLevel << top->objectName() + "=" + top->text();
    EXPECT_EQ(topLevel.join(","),
              "mnuFile=&File,mnuEdit=&Edit,mnuSearch=&Search,mnuMacro=&Wizard,mnuHelp=&Help");
    std::map<QString, QStringList> order;
    for (const EntryCase& c : kEntries) {
        SCOPED_TRACE(c.name);
        QMenu* menu = form->findChild<QMenu*>(QLatin1String(c.menu));
        ASSERT_NE(menu, nullptr);
        order[c.menu] << c.name;
        QAction* entry = nullptr;
        for (QAction* candidate : menu->actions()) {
            if (candidate->objectName() == QLatin1String(c.name)) entry = candidate;
        }
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->isSeparator(), QString(c.caption).isEmpty());
        if (!entry->isSeparator()) {
            EXPECT_EQ(entry->text(), c.caption);
        }
        EXPECT_EQ(entry->shortcut().toString(), c.shortcut);
        EXPECT_EQ(entry->isVisible(), c.visible);
    }
    for (const auto& [menuName, names] : order) {
        QStringList actual;
        for (QAction* a : form->findChild<QMenu*>(menuName)->actions())
            actual << a->objectName();
        EXPECT_EQ(actual, names) << menuName.toStdString();
    }
}

TEST_F(EditorTest, ToolbarButtonsWithKeysAndToolTips) {
    auto form = editor();
    QToolBar* bar = form->findChild<QToolBar*>("tbToolBar");
    ASSERT_NE(bar, nullptr);
    QStringList keys, tips;
    for (QAction* button : bar->actions()) {
        keys << button->data().toString();
        tips << button->toolTip();
        EXPECT_FALSE(button->icon().isNull());
        EXPECT_EQ(button->objectName(), "tbToolBar" + button->data().toString());
    }
    EXPECT_EQ(keys.join(","), "New,Open,Save,Print,Cut,Copy,Paste,Record");
    EXPECT_EQ(tips.join(","), "New,Open,Save,Print,Cut,Copy,Paste,Recorder On/Off");
    // "Record" stays pressed while the recorder records; a second click stops it.
    QAction* record = bar->findChild<QAction*>("tbToolBarRecord");
    record->trigger();
    EXPECT_TRUE(record->isChecked());
    record->trigger();
    EXPECT_FALSE(record->isChecked());
}

TEST_F(EditorTest, FreshWindowIsAnUnwrappedUntitledText) {
    auto form = editor();
    EXPECT_EQ(form->windowTitle(), "Untitled - Tarn Macro Editor");
    QPlainTextEdit* area = text(*form);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_TRUE(area->font().bold());
    EXPECT_EQ(form->centralWidget(), area);
    EXPECT_FALSE(form->dirty());
    EXPECT_EQ(form->runWait(), 5);
}

TEST_F(EditorTest, HelpEntriesAndCtrlAOpenHelpAndTheAboutBox) {
    auto form = shownEditor();
    if (helpTopicsWindow()) helpTopicsWindow()->close();
    action(*form, "mnuHelpContents")->trigger();
    ASSERT_NE(helpTopicsWindow(), nullptr);
    EXPECT_TRUE(helpTopicsWindow()->isVisible());
    helpTopicsWindow()->close();

    // Ctrl+A in the text area is About (modal), never Select All.
    type(*form, "abc");
    QString aboutCaption;
    QTimer::singleShot(0, [&] {
        (void)QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 5000);
        if (QWidget* modal = QApplication::activeModalWidget()) {
            aboutCaption = modal->windowTitle();
            modal->close();
        }
    });
    key(*form, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(aboutCaption, "About " + appTitle());
    EXPECT_FALSE(text(*form)->textCursor().hasSelection());
}

// Geometry, in twips under the "Editor" keys.

QString stored(const char* psvKey) {
    return GetSetting(appTitle(), kSectionSettings, psvKey, "<none>");
}

TEST_F(EditorTest, FreshInstallationOpensAtSeventyPercentCentred) {
    auto form = editor();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const double width = 0.7 * pixelsToTwips(screen.width(), form.get(), Qt::Horizontal);
    const double height = 0.7 * pixelsToTwips(screen.height(), form.get(), Qt::Vertical);
    EXPECT_EQ(form->width(), twipsToPixels(width, form.get(), Qt::Horizontal));
    EXPECT_EQ(form->height(), twipsToPixels(height, form.get(), Qt::Vertical));
    const double screenWidthTwips = pixelsToTwips(screen.width(), form.get(), Qt::Horizontal);
    EXPECT_EQ(form->pos().x(),
              twipsToPixels(screenWidthTwips / 2 - width / 2, form.get(), Qt::Horizontal));
}

TEST_F(EditorTest, GeometryIsStoredOnCloseOnlyFromTheNormalState) {
    {
        auto form = editor();
        form->show();
        form->setGeometry(60, 45, 600, 300);
        QApplication::processEvents();
        const QPoint at = form->pos();
        form->close();
        EXPECT_EQ(stored("Editor Width"), numberText(static_cast<float>(pixelsToTwips(600))));
        EXPECT_EQ(stored("Editor Height"),
                  numberText(static_cast<float>(pixelsToTwips(300, nullptr, Qt::Vertical))));
        EXPECT_EQ(stored("Editor Left"), numberText(static_cast<float>(pixelsToTwips(at.x()))));
        EXPECT_EQ(stored("LogViewer Width"), "<none>");
    }
    // The next window opens there; a maximized or minimized one stores nothing.
    for (Qt::WindowState state : {Qt::WindowMaximized, Qt::WindowMinimized}) {
        auto form = editor();
        EXPECT_EQ(form->size(), QSize(600, 300));
        form->show();
        form->setWindowState(state);
        QApplication::processEvents();
        SaveSetting(appTitle(), kSectionSettings, kKeyEditorWidth, "1234");
        form->close();
        EXPECT_EQ(stored("Editor Width"), "1234");
        SaveSetting(appTitle(), kSectionSettings, kKeyEditorWidth,
                    numberText(static_cast<float>(pixelsToTwips(600))));
    }
}

TEST_F(EditorTest, ClosedWindowLoadsAgainOnItsNextUse) {
    auto form = editor();
    form->show();
    type(*form, "x");
    mAnswers = {false};  // "Save the current file": No
    form->close();
    EXPECT_FALSE(form->loaded());
    ASSERT_EQ(mMessages.size(), 1u);
    EXPECT_EQ(mMessages[0].text, "Save the current file");
    EXPECT_EQ(textOf(*form), "");
    form->Load();
    EXPECT_TRUE(form->loaded());
    EXPECT_EQ(form->windowTitle(), "Untitled - Tarn Macro Editor");
}

}  // namespace
}  // namespace tarn::editor::test
