// SPDX-License-Identifier: GPL-3.0-or-later
// The language in the editor window: colours and marks on a macro opened from
// a file, typing still recorded as an edit, and going to a line.
#include <QApplication>
#include <QTextBlock>
#include <QTextLayout>

#include "EditorTest.h"
#include "MacroGutter.h"
#include "MacroHighlighter.h"

namespace tarn::editor::test {
namespace {

TEST_F(EditorTest, MacroShownInColourAndMarkedWithoutBeingChanged) {
    auto form = editor();
    const QByteArray bytes("Rem first\r\nSend {BOGUS}\r\nWait 1\r\n");
    ASSERT_TRUE(form->OpenMacro(put(QStringLiteral("m.mcr"), bytes)));
    const QString undo = form->undoText();
    ASSERT_NE(form->highlighter(), nullptr);
    ASSERT_NE(form->gutter(), nullptr);
    // Coloured when painted.
    EXPECT_TRUE(text(*form)->document()->begin().layout()->formats().isEmpty());
    form->show();
    QApplication::processEvents();
    EXPECT_FALSE(text(*form)->document()->begin().layout()->formats().isEmpty());
    form->gutter()->refreshMarks();
    EXPECT_EQ(form->gutter()->marks().size(), 1u);
    EXPECT_EQ(form->gutter()->marks().count(2), 1u);

    form->GoToLine(3);
    EXPECT_EQ(text(*form)->textCursor().blockNumber(), 2);
    EXPECT_EQ(text(*form)->textCursor().positionInBlock(), 0);
    EXPECT_FALSE(form->dirty());
    EXPECT_EQ(form->undoText(), undo);
    EXPECT_EQ(textOf(*form), QStringLiteral("Rem first\nSend {BOGUS}\nWait 1\n"));

    // Typing is still an edit, and the new line is coloured as typed.
    type(*form, QStringLiteral("Send x"));
    QApplication::processEvents();
    EXPECT_TRUE(form->dirty());
    EXPECT_FALSE(text(*form)->document()->findBlockByNumber(2).layout()->formats().isEmpty());
}

}  // namespace
}  // namespace tarn::editor::test
