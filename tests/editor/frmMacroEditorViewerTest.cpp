// SPDX-License-Identifier: GPL-3.0-or-later
// Viewer mode: the trace file read-only in a second window with only File's
// printing and Exit and Help left, its own geometry keys, and the offer to
// clear a trace too large to show.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>

#include "MacroFileIO.h"
#include "ProgramInfo.h"
#include "Settings.h"

#include "EditorTest.h"

namespace tarn::editor::test {
namespace {

class ViewerTest : public EditorTest {
  protected:
    QString trace(const QByteArray& poBytes) { return put("TarnTrace.txt", poBytes); }
    std::unique_ptr<frmMacroEditor> viewer(const QString& psvTrace) {
        auto form = std::make_unique<frmMacroEditor>();
        form->ViewLogMode();
        mOpened = form->OpenMacro(psvTrace);
        return form;
    }
    bool mOpened = false;
};

TEST_F(ViewerTest, ShowsTheTraceReadOnlyWithOnlyPrintExitAndHelp) {
    auto form = viewer(trace("Wait 1\r\nError 5 - x\r\n"));
    ASSERT_TRUE(mOpened);
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
    EXPECT_FALSE(form->dirty());
    // The trace can still be copied from.
    select(*form, 0, 4);
    key(*form, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "Wait");
}

TEST_F(ViewerTest, EveryOpeningReadsTheTraceAgain) {
    auto form = viewer(path("TarnTrace.txt"));
    EXPECT_FALSE(mOpened);
    ASSERT_EQ(mMessages.size(), 1u);
    EXPECT_EQ(mMessages[0].text, "There is no data in the file or the file could not be found");
    const QString file = trace("Wait 1\r\nWait 2\r\n");
    form->ViewLogMode();
    ASSERT_TRUE(form->OpenMacro(file));
    EXPECT_EQ(textOf(*form), "Wait 1\nWait 2\n");
    EXPECT_EQ(mMessages.size(), 1u);
}

// A viewer already on the screen goes away rather than turn into an empty
// editor's window.
TEST_F(ViewerTest, TooLargeTraceIsOfferedForClearing) {
    for (bool yes : {false, true}) {
        SCOPED_TRACE(yes);
        const QString file = trace("Wait 1\r\n");
        auto form = viewer(file);
        ASSERT_TRUE(mOpened);
        form->show();
        mMessages.clear();
        {
            QFile big(file);
            ASSERT_TRUE(big.open(QIODevice::WriteOnly));
            ASSERT_TRUE(big.resize(kMaxMacroFileBytes + 1));
        }
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

TEST_F(ViewerTest, GeometryLivesUnderTheLogViewerKeys) {
    const QString file = trace("Wait 1\r\n");
    for (const char* key : {kKeyLogViewerLeft, kKeyLogViewerTop})
        SaveSetting(appTitle(), kSectionSettings, key, "1500");
    SaveSetting(appTitle(), kSectionSettings, kKeyLogViewerWidth, "6000");
    SaveSetting(appTitle(), kSectionSettings, kKeyLogViewerHeight, "3000");
    auto form = viewer(file);
    EXPECT_EQ(form->pos(), QPoint(100, 100));
    EXPECT_EQ(form->size(), QSize(400, 200));
    form->show();
    form->move(150, 120);
    QApplication::processEvents();
    form->close();
    EXPECT_EQ(GetSetting(appTitle(), kSectionSettings, kKeyLogViewerLeft), "2250");
    EXPECT_EQ(GetSetting(appTitle(), kSectionSettings, kKeyEditorLeft, "<none>"), "<none>");
}

}  // namespace
}  // namespace tarn::editor::test
