// SPDX-License-Identifier: GPL-3.0-or-later
// The editor window itself, and the window as the trace viewer.
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTextBlock>
#include <QTextLayout>

#include "EditorTest.h"
#include "Help.h"
#include "MacroGutter.h"
#include "MacroHighlighter.h"
#include "ModalWatch.h"
#include "ProgramInfo.h"
#include "Settings.h"
#include "Twips.h"

namespace tarn::editor::test {
namespace {

// Geometry, in twips under the "Editor" keys.
QString stored(const char* psvKey) {
    return GetSetting(appTitle(), kSectionSettings, psvKey, "<none>");
}

// A fresh installation opens an unwrapped untitled text at 70 % of the
// screen, centred; the place is stored on close only from the normal state.
TEST_F(EditorTest, WindowOpensAtSeventyPercentCentredThenWhereItWasLeftInTheNormalState) {
    {
        auto form = editor();
        EXPECT_EQ(form->centralWidget(), text(*form));
        EXPECT_EQ(text(*form)->lineWrapMode(), QPlainTextEdit::NoWrap);
        EXPECT_TRUE(text(*form)->font().bold());
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const double screenWidth = pixelsToTwips(screen.width(), form.get(), Qt::Horizontal);
        const double height = 0.7 * pixelsToTwips(screen.height(), form.get(), Qt::Vertical);
        EXPECT_EQ(form->width(), twipsToPixels(0.7 * screenWidth, form.get(), Qt::Horizontal));
        EXPECT_EQ(form->height(), twipsToPixels(height, form.get(), Qt::Vertical));
        EXPECT_EQ(form->pos().x(), twipsToPixels(screenWidth / 2 - 0.7 * screenWidth / 2,
                                                 form.get(), Qt::Horizontal));
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

TEST_F(EditorTest, MacroShownInColourAndMarkedWithoutBeingChangedWithHelpAndAbout) {
    auto form = editor();
    const QByteArray bytes("Rem first\r\nSend {BOGUS}\r\nWait 1\r\n");
    ASSERT_TRUE(form->OpenMacro(put(QStringLiteral("m.mcr"), bytes)));
    const QString undo = form->document().undoText();
    ASSERT_NE(form->highlighter(), nullptr);
    ASSERT_NE(form->gutter(), nullptr);
    // Coloured when painted.
    EXPECT_TRUE(text(*form)->document()->begin().layout()->formats().isEmpty());
    showActive(*form);
    QApplication::processEvents();
    EXPECT_FALSE(text(*form)->document()->begin().layout()->formats().isEmpty());
    form->gutter()->refreshMarks();
    EXPECT_EQ(form->gutter()->marks().size(), 1u);
    EXPECT_EQ(form->gutter()->marks().count(2), 1u);

    form->GoToLine(3);
    EXPECT_EQ(text(*form)->textCursor().blockNumber(), 2);
    EXPECT_EQ(text(*form)->textCursor().positionInBlock(), 0);
    EXPECT_FALSE(form->document().dirty());
    EXPECT_EQ(form->document().undoText(), undo);
    EXPECT_EQ(textOf(*form), QStringLiteral("Rem first\nSend {BOGUS}\nWait 1\n"));

    // Typing is still an edit, and the new line is coloured as typed.
    type(*form, QStringLiteral("Send x"));
    QApplication::processEvents();
    EXPECT_TRUE(form->document().dirty());
    EXPECT_FALSE(text(*form)->document()->findBlockByNumber(2).layout()->formats().isEmpty());

    // Help, and Ctrl+A in the text area is About (modal), never Select All.
    if (helpTopicsWindow()) helpTopicsWindow()->close();
    action(*form, "mnuHelpContents")->trigger();
    ASSERT_NE(helpTopicsWindow(), nullptr);
    EXPECT_TRUE(helpTopicsWindow()->isVisible());
    helpTopicsWindow()->close();
    QString aboutCaption;
    ModalWatch watch([&](QWidget* modal) {
        aboutCaption = modal->windowTitle();
        modal->close();
    });
    key(*form, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(aboutCaption, "About " + appTitle());
    EXPECT_FALSE(text(*form)->textCursor().hasSelection());
}

class ViewerTest : public EditorTest {
  protected:
    std::unique_ptr<frmMacroEditor> viewer(const QString& psvTrace) {
        auto form = std::make_unique<frmMacroEditor>();
        form->ViewLogMode();
        mOpened = form->OpenMacro(psvTrace);
        return form;
    }
    bool mOpened = false;
};

TEST_F(ViewerTest, ShowsTheTraceReadOnlyWithOnlyPrintExitAndHelpAtItsOwnPlace) {
    for (const char* key : {kKeyLogViewerLeft, kKeyLogViewerTop})
        SaveSetting(appTitle(), kSectionSettings, key, "1500");
    SaveSetting(appTitle(), kSectionSettings, kKeyLogViewerWidth, "6000");
    SaveSetting(appTitle(), kSectionSettings, kKeyLogViewerHeight, "3000");
    auto form = viewer(put("TarnTrace.txt", "Wait 1\r\nError 5 - x\r\n"));
    ASSERT_TRUE(mOpened);
    EXPECT_EQ(form->pos(), QPoint(100, 100));
    EXPECT_EQ(form->size(), QSize(400, 200));
    EXPECT_EQ(form->windowTitle(), "TarnTrace.txt - Tarn Trace File Viewer");
    EXPECT_EQ(textOf(*form), "Wait 1\nError 5 - x\n");
    EXPECT_FALSE(form->toolBar()->isVisibleTo(form.get()));
    EXPECT_EQ(form->highlighter(), nullptr);  // plain text, no colours or marks
    EXPECT_EQ(form->gutter(), nullptr);
    QStringList shown;
    for (QAction* top : form->menuBar()->actions()) {
        if (!top->isVisible()) continue;
        shown << top->objectName();
        for (QAction* a : top->menu()->actions()) {
            if (a->isVisible()) shown << a->objectName();
        }
    }
    EXPECT_EQ(shown.join(","),
              "mnuFile,mnuFilePrinterSetup,mnuFilePrint,mnuFileSep1,mnuFileExit,mnuHelp,"
              "mnuHelpContents,mnuHelpIndex,mnuHelpSep0,mnuHelpAbout");
    // No key changes the text, shortcuts of the hidden entries included.
    showActive(*form);
    QApplication::clipboard()->setText("pasted");
    select(*form, 0, 4);
    type(*form, "typed\n");
    select(*form, 0, 4);
    for (Qt::Key k : {Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_Tab})
        key(*form, k);
    for (Qt::Key k : {Qt::Key_X, Qt::Key_V, Qt::Key_N, Qt::Key_Z})
        key(*form, k, Qt::ControlModifier);
    EXPECT_EQ(textOf(*form), "Wait 1\nError 5 - x\n");
    EXPECT_FALSE(form->document().dirty());
    select(*form, 0, 4);
    key(*form, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "Wait");
    form->move(150, 120);
    QApplication::processEvents();
    form->close();
    EXPECT_EQ(GetSetting(appTitle(), kSectionSettings, kKeyLogViewerLeft), "2250");
    EXPECT_EQ(GetSetting(appTitle(), kSectionSettings, kKeyEditorLeft, "<none>"), "<none>");
}

// A trace too large to show is offered for clearing (the player's View Trace
// File button reads a missing trace and one that grew). A viewer already on
// the screen goes away rather than turn into an empty editor's window.
TEST_F(ViewerTest, ATooLargeTraceIsOfferedForClearing) {
    for (bool yes : {false, true}) {
        SCOPED_TRACE(yes);
        mMessages.clear();
        const QString file = put("TarnTrace.txt", "Wait 1\r\nWait 2\r\n");
        auto form = viewer(file);
        ASSERT_TRUE(mOpened);
        form->show();
        putTooLarge("TarnTrace.txt");
        mAnswers = {yes};
        form->ViewLogMode();
        EXPECT_FALSE(form->OpenMacro(file));
        EXPECT_FALSE(form->isVisible());
        ASSERT_EQ(mMessages.size(), 1u);
        EXPECT_TRUE(mMessages[0].question);
        EXPECT_TRUE(mMessages[0].text.endsWith("Clear trace file now?"));
        EXPECT_EQ(QFile::exists(file), !yes);
    }
}

}  // namespace
}  // namespace tarn::editor::test
