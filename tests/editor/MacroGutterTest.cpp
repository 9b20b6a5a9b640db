// The gutter beside a text area: line numbers at the lines' heights, and marks
// with their findings where tarn --check would flag a line.
#include <gtest/gtest.h>

#include <QApplication>

#include <QPlainTextEdit>
#include <QTextBlock>

#include "MacroGutter.h"

namespace tarn::editor {
namespace {

TEST(MacroGutter, MarksTheLinesACheckFlagsAndFollowsEdits) {
    QPlainTextEdit edit;
    edit.resize(400, 300);
    edit.setPlainText(QStringLiteral("Rem fine\nSend {BOGUS}\nWait 1\nFoo bar\n"));
    MacroGutter gutter(&edit);
    edit.show();

    std::map<int, QString> expected{
        {2, QStringLiteral("error 5: Invalid procedure call or argument (Send cannot read these "
                           "keys)")},
        {4, QStringLiteral("error 1001: Invalid macro command")}};
    EXPECT_EQ(gutter.marks(), expected);

    // The gutter sits left of the text, which it does not cover, inside the
    // shown text area (also once the style has polished it).
    QApplication::processEvents();
    EXPECT_GT(gutter.width(), 0);
    EXPECT_LE(gutter.geometry().right(), edit.viewport()->geometry().left());
    EXPECT_GE(gutter.geometry().left(), 0);
    EXPECT_EQ(gutter.geometry().top(), edit.viewport()->geometry().top());
    EXPECT_EQ(gutter.height(), edit.viewport()->height());

    // Each line's number sits at that line's height.
    for (QTextBlock block = edit.document()->begin(); block.isValid(); block = block.next()) {
        const QRect line = edit.cursorRect(QTextCursor(block));
        const int y = gutter.mapFrom(&edit, edit.viewport()->mapTo(&edit, line.center())).y();
        EXPECT_EQ(gutter.lineAt(y), block.blockNumber() + 1);
    }

    QTextCursor cursor(edit.document()->findBlockByNumber(1));
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(QStringLiteral("Send {ENTER}"));
    gutter.refreshMarks();
    EXPECT_EQ(gutter.marks().size(), 1u);
    EXPECT_EQ(gutter.marks().count(4), 1u);
}

}  // namespace
}  // namespace tarn::editor
