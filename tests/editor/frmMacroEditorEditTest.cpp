// SPDX-License-Identifier: GPL-3.0-or-later
// Editing: the one-level undo, the clipboard commands and the Edit entries.
#include <QInputMethodEvent>
#include <QMimeData>

#include "EditorTest.h"

namespace tarn::editor::test {
namespace {

bool enabled(frmMacroEditor& poForm, const char* psvName) {
    return EditorTest::action(poForm, psvName)->isEnabled();
}

TEST_F(EditorTest, UndoGoesBackToTheLatestCopy) {
    const struct {
        const char* name;
        std::function<void(frmMacroEditor&)> steps;
        const char* afterUndo;
    } cases[] = {
        {"cut, then typing on the line",
         [](frmMacroEditor& f) {
             f.InsertText("Wait 1\nWait 2");
             select(f, 0, 5);
             f.mnuEditCut_Click();
             type(f, "Rem ");
         },
         "Wait 1\nWait 2"},
        {"typing after an Enter", [](frmMacroEditor& f) { type(f, "abc\ndef"); }, "abc"},
        {"New after a file, then one character",
         [this](frmMacroEditor& f) {
             ASSERT_TRUE(f.OpenMacro(put("m.mcr", "Wait 9\r\n")));
             f.mnuFileNew_Click();
             type(f, "x");
         },
         ""},
        {"paste over a selection",
         [](frmMacroEditor& f) {
             f.InsertText("abcdef");
             QApplication::clipboard()->setText("XY");
             select(f, 1, 3);
             f.mnuEditPaste_Click();
             type(f, "!");
         },
         "abcdef"},
        {"typing and Backspace on the lines of an opened file",
         [this](frmMacroEditor& f) {
             ASSERT_TRUE(f.OpenMacro(put("m.mcr", "Wait 1\r\nWait 2\r\n")));
             type(f, "Rem ");
             key(f, Qt::Key_Down);
             key(f, Qt::Key_Backspace);
             type(f, "x");
         },
         "Wait 1\nWait 2\n"},
        {"one character after an Undo",
         [](frmMacroEditor& f) {
             type(f, "ab\nc");
             f.mnuEditUndo_Click();
             type(f, "d");
         },
         ""},
        {"delete of a selection with the Del key",
         [](frmMacroEditor& f) {
             f.InsertText("abcdef");
             select(f, 0, 2);
             key(f, Qt::Key_Delete);
         },
         "abcdef"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto form = shownEditor();
        c.steps(*form);
        ASSERT_TRUE(enabled(*form, "mnuEditUndo"));
        key(*form, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(textOf(*form), c.afterUndo);
        // No second Undo: both entries are off, and Ctrl+Z changes nothing.
        EXPECT_FALSE(enabled(*form, "mnuEditUndo"));
        EXPECT_FALSE(enabled(*form, "mnuMacroEditMenuUndo"));
        const QString before = textOf(*form);
        key(*form, Qt::Key_Z, Qt::ControlModifier);
        key(*form, Qt::Key_Y, Qt::ControlModifier);
        EXPECT_EQ(textOf(*form), before);
        form->close();
    }
}

TEST_F(EditorTest, TypingEnablesOnlyTheMenuUndoEnterDisablesBothAndTheRightButtonShowsTheMenu) {
    auto form = shownEditor();
    form->InsertText("x");
    EXPECT_TRUE(enabled(*form, "mnuMacroEditMenuUndo"));  // SetUndo enables both
    type(*form, "\n");
    EXPECT_FALSE(enabled(*form, "mnuEditUndo"));
    EXPECT_FALSE(enabled(*form, "mnuMacroEditMenuUndo"));
    EXPECT_EQ(form->document().undoText(), "x");
    type(*form, "y");
    EXPECT_TRUE(enabled(*form, "mnuEditUndo"));
    EXPECT_FALSE(enabled(*form, "mnuMacroEditMenuUndo"));
    form->mnuEditDelete_Click();
    EXPECT_EQ(textOf(*form), "x\ny");
    EXPECT_EQ(form->document().undoText(), "x");
    // So do characters composed by an input method.
    type(*form, "\n");
    QInputMethodEvent composed;
    composed.setCommitString(QString::fromUtf8("\xC3\xA9"));
    QApplication::sendEvent(text(*form), &composed);
    EXPECT_TRUE(enabled(*form, "mnuEditUndo"));
    EXPECT_EQ(textOf(*form), QString::fromUtf8("x\ny\n\xC3\xA9"));
    // Shift+Enter is an ordinary line end of the file.
    key(*form, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(textOf(*form), QString::fromUtf8("x\ny\n\xC3\xA9\n"));

    // The right button shows the Edit Menu once the player installs it.
    QWidget* area = text(*form)->viewport();
    const auto rightClick = [&] {
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    area->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(area, &menuEvent);
        QTest::mouseClick(area, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
        QApplication::processEvents();
        return QApplication::activePopupWidget();
    };
    EXPECT_EQ(rightClick(), nullptr);
    form->installRightButtonMenu();
    QWidget* popup = rightClick();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->objectName(), "mnuMacroEditMenu");
    popup->close();
    form->close();
    EXPECT_FALSE(form->rightButtonMenuInstalled());
}

TEST_F(EditorTest, PasteReplacesTheSelectionAndLeavesTheCaretBehind) {
    auto form = editor();
    struct {
        const char* name;
        QMimeData* clipboard;  // owned by the clipboard once set
        const char* text;
        int caret;
    } cases[] = {
        {"text", new QMimeData, "aXYdef", 3},
        {"no text at all", new QMimeData, "adef", 1},
        {"CR LF line ends", new QMimeData, "aX\nYdef", 4},
    };
    cases[0].clipboard->setText("XY");
    cases[1].clipboard->setImageData(QImage(1, 1, QImage::Format_RGB32));
    cases[2].clipboard->setText("X\r\nY");
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        form->mnuFileNew_Click();
        form->InsertText("abcdef");
        QApplication::clipboard()->setMimeData(c.clipboard);
        select(*form, 1, 3);
        form->mnuEditPaste_Click();
        EXPECT_EQ(textOf(*form), c.text);
        EXPECT_EQ(text(*form)->textCursor().position(), c.caret);
        EXPECT_FALSE(text(*form)->textCursor().hasSelection());
        EXPECT_EQ(form->document().undoText(), "abcdef");
    }
}

TEST_F(EditorTest, EditEntriesFollowTheSelectionAndTheClipboardAndTheToolbarWorksWithoutMenus) {
    auto form = shownEditor();
    const char* selectionEntries[] = {"mnuEditCopy",         "mnuEditCut",
                                      "mnuEditDelete",       "mnuMacroEditMenuCopy",
                                      "mnuMacroEditMenuCut", "mnuMacroEditMenuDelete"};
    const auto expectSelectionEntries = [&](bool on) {
        for (const char* name : selectionEntries)
            EXPECT_EQ(enabled(*form, name), on) << name;
    };
    const auto expectPaste = [&](bool on) {
        EXPECT_EQ(enabled(*form, "mnuEditPaste"), on);
        EXPECT_EQ(enabled(*form, "mnuMacroEditMenuPaste"), on);
    };
    expectSelectionEntries(false);
    expectPaste(false);
    EXPECT_FALSE(enabled(*form, "mnuEditUndo"));
    form->InsertText("Wait 1");
    select(*form, 0, 4);
    expectSelectionEntries(true);
    // Copy from the toolbar with nothing selected empties the clipboard's text.
    form->mnuEditCopy_Click();
    expectPaste(true);
    select(*form, 2, 2);
    expectSelectionEntries(false);
    form->toolBar()->findChild<QAction*>("tbToolBarCopy")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "");
    expectPaste(false);
    // Another program's clipboard counts as soon as it changes.
    QApplication::clipboard()->setText("Send \"x\"");
    expectPaste(true);

    form->DisableMenus();
    for (const char* name : {"mnuFile", "mnuEdit", "mnuSearch", "mnuHelp", "mnuMacro"})
        EXPECT_FALSE(action(*form, name)->isEnabled()) << name;
    // Nor do the disabled menus' shortcuts reach their entries.
    select(*form, 0, 1);
    for (Qt::Key k : {Qt::Key_N, Qt::Key_X, Qt::Key_Q})
        key(*form, k, Qt::ControlModifier);
    EXPECT_TRUE(mMessages.empty());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(textOf(*form), "Wait 1");
    select(*form, 0, 5);
    QToolBar* bar = form->toolBar();
    bar->findChild<QAction*>("tbToolBarCut")->trigger();
    EXPECT_EQ(textOf(*form), "1");
    EXPECT_EQ(QApplication::clipboard()->text(), "Wait ");
    bar->findChild<QAction*>("tbToolBarPaste")->trigger();
    EXPECT_EQ(textOf(*form), "Wait 1");
    form->EnableMenus();
    EXPECT_TRUE(action(*form, "mnuEdit")->isEnabled());
}

}  // namespace
}  // namespace tarn::editor::test
