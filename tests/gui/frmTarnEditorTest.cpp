// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QFileInfo>
#include <QPlainTextEdit>

#include "../common/EditorScript.h"
#include "EditorText.h"

#include "GuiTest.h"

namespace tarn::guitest {
namespace {

using editor::frmMacroEditor;

const char* const kNoFile =
    "Tarn Open File: There is no data in the file or the file could not be found";

class EditorButtonsTest : public PlayerTest, protected editor::test::EditorScript {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        install();
    }
    void TearDown() override {
        PlayerTest::TearDown();
        uninstall();
    }
    static QString textOf(frmMacroEditor& poEditor) {
        return editor::exactText(*poEditor.textArea());
    }
};

TEST_F(EditorButtonsTest, FindMacroUsesTheEditorsDialogWithoutShowingTheEditor) {
    auto form = interactiveOn(QString());
    mDialogAnswers = {path("chosen.mcr")};
    button(*form, "cmdMacro")->click();
    ASSERT_EQ(mDialogs.size(), 1u);
    EXPECT_EQ(mDialogs[0].initialFolder, "");
    EXPECT_EQ(mDialogs[0].fileName, "");
    EXPECT_EQ(fileBox(*form)->text(), path("chosen.mcr"));
    EXPECT_TRUE(form->macroEditor().loaded());
    EXPECT_FALSE(form->macroEditor().isVisible());
    // With a path in the box: its folder and the path; a cancel keeps the box.
    button(*form, "cmdMacro")->click();
    ASSERT_EQ(mDialogs.size(), 2u);
    EXPECT_EQ(mDialogs[1].initialFolder, mDir.path());
    EXPECT_EQ(mDialogs[1].fileName, path("chosen.mcr"));
    EXPECT_EQ(fileBox(*form)->text(), path("chosen.mcr"));
    EXPECT_TRUE(mMessages.empty());
    // Loaded though never shown, the editor still closes with the player.
    form->close();
    EXPECT_NE(GetSetting(appTitle(), kSectionSettings, kKeyEditorWidth), "");
}

TEST_F(EditorButtonsTest, MacroNewEditOpensTheFileOrAnEmptyTextAndSavedPathsReachTheBox) {
    const QString file = macro("Wait 1\r\n", "demo.mcr");
    auto form = interactiveOn(QString());
    button(*form, "cmdEdit")->click();
    frmMacroEditor& editor = form->macroEditor();
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(editor.windowTitle(), "Untitled - Tarn Macro Editor");
    EXPECT_TRUE(editor.rightButtonMenuInstalled());
    editor.InsertText("Wait 1");
    mDialogAnswers = {path("saved.mcr")};
    ASSERT_TRUE(editor.SaveFile());
    EXPECT_EQ(fileBox(*form)->text(), path("saved.mcr"));
    EXPECT_EQ(readBytes(path("saved.mcr")), "Wait 1");

    fileBox(*form)->setText(file);
    editor.showMinimized();
    button(*form, "cmdEdit")->click();
    EXPECT_EQ(editor.windowTitle(), "demo.mcr - Tarn Macro Editor");
    EXPECT_EQ(textOf(editor), "Wait 1\n");
    EXPECT_FALSE(editor.isMinimized());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A file that cannot be read: the editor's own message, then its window.
    fileBox(*form)->setText(path("missing.mcr"));
    button(*form, "cmdEdit")->click();
    EXPECT_EQ(shown(), QStringList{kNoFile});
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(editor.windowTitle(), "Untitled - Tarn Macro Editor");
    // With no file in the box, a minimised editor comes back for the new text.
    fileBox(*form)->clear();
    editor.showMinimized();
    button(*form, "cmdEdit")->click();
    EXPECT_FALSE(editor.isMinimized());
}

// tarn --edit on a name that does not exist yet: a new macro of that name,
// written there by the first Save with no dialog; an existing file opens.
TEST_F(EditorButtonsTest, EditingANewNameSavesThereAndAnExistingFileOpens) {
    auto form = interactiveOn(QString());
    form->editFile(path("hello.mcr"));
    frmMacroEditor& editor = form->macroEditor();
    EXPECT_TRUE(mMessages.empty());
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(editor.windowTitle(), "hello.mcr - Tarn Macro Editor");
    EXPECT_EQ(fileBox(*form)->text(), path("hello.mcr"));
    EXPECT_FALSE(QFileInfo::exists(path("hello.mcr")));
    editor.InsertText("Wait 1");
    ASSERT_TRUE(editor.SaveFile());
    EXPECT_TRUE(mDialogs.empty());
    EXPECT_EQ(readBytes(path("hello.mcr")), "Wait 1");

    form->editFile(macro("Rem there\r\n", "there.mcr"));
    EXPECT_EQ(editor.windowTitle(), "there.mcr - Tarn Macro Editor");
    EXPECT_EQ(textOf(editor), "Rem there\n");
    EXPECT_TRUE(mMessages.empty());
}

TEST_F(EditorButtonsTest, MacroEditAfterAFailedRunPutsTheCaretOnTheFailingLine) {
    const QString failing = macro("Rem one\r\nRem two\r\nWait abc\r\nRem four\r\n", "f.mcr");
    const QString other = macro("Rem a\r\nRem b\r\nRem c\r\nRem d\r\n", "o.mcr");
    mQuestions.answers = {false};
    auto form = interactiveOn(failing);
    button(*form, "cmdGo")->click();
    ASSERT_EQ(form->failedLine(), 3);
    button(*form, "cmdEdit")->click();
    EXPECT_EQ(form->macroEditor().textArea()->textCursor().blockNumber(), 2);
    // Another file in the box: its first line, as always.
    fileBox(*form)->setText(other);
    button(*form, "cmdEdit")->click();
    EXPECT_EQ(form->macroEditor().textArea()->textCursor().blockNumber(), 0);
}

TEST_F(EditorButtonsTest, ViewTraceFileShowsTheTraceAsItIsNowInOneWindow) {
    auto form = interactiveOn(QString());
    button(*form, "cmdViewTraceFile")->click();
    EXPECT_EQ(shown(), QStringList{kNoFile});
    ASSERT_NE(form->traceViewer(), nullptr);
    EXPECT_FALSE(form->traceViewer()->isVisible());

    writeBytes(tracePath(), "Wait 1\r\n");
    button(*form, "cmdViewTraceFile")->click();
    frmMacroEditor* viewer = form->traceViewer();
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->windowTitle(), "TarnTrace.txt - Tarn Trace File Viewer");
    EXPECT_EQ(textOf(*viewer), "Wait 1\n");
    EXPECT_FALSE(viewer->rightButtonMenuInstalled());

    writeBytes(tracePath(), "Wait 1\r\nWait 2\r\n");
    viewer->showMinimized();
    button(*form, "cmdViewTraceFile")->click();
    EXPECT_EQ(form->traceViewer(), viewer);
    EXPECT_EQ(textOf(*viewer), "Wait 1\nWait 2\n");
    EXPECT_FALSE(viewer->isMinimized());
}

// Closing the player closes the viewer and offers the editor's changed text
// for saving: Yes, and the save dialog cancelled, keeps the editor with its text.
TEST_F(EditorButtonsTest, ClosingThePlayerClosesTheViewerAndAnEditorWhoseTextWasSaved) {
    writeBytes(tracePath(), "Wait 1\r\n");
    auto form = interactiveOn(QString());
    button(*form, "cmdEdit")->click();
    form->macroEditor().InsertText("unsaved");
    button(*form, "cmdViewTraceFile")->click();
    mAnswers = {true};
    form->close();
    EXPECT_FALSE(form->traceViewer()->isVisible());
    EXPECT_FALSE(form->traceViewer()->loaded());
    EXPECT_TRUE(form->macroEditor().isVisible());
    EXPECT_EQ(textOf(form->macroEditor()), "unsaved");
    EXPECT_EQ(shown(), QStringList{"? Tarn Macro Editor: Save the current file"});
    form->macroEditor().close();
    EXPECT_FALSE(form->macroEditor().isVisible());
}

}  // namespace
}  // namespace tarn::guitest
