// SPDX-License-Identifier: GPL-3.0-or-later
// The gutter beside a text area: line numbers at the lines' heights, marks
// with their findings where tarn --check would flag a line, kept right after
// edits and checked as far as the view.
#include <gtest/gtest.h>

#include <QApplication>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include "EditorText.h"
#include "MacroCheck.h"
#include "MacroGutter.h"

namespace tarn::editor {
namespace {

TEST(MacroGutter, MarksTheLinesACheckFlags) {
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
}

// What a check of the whole text flags, as the gutter shows it.
std::map<int, QString> fullCheck(const QPlainTextEdit& poEdit) {
    std::map<int, QString> marks;
    for (const Finding& finding : CheckMacroText(exactText(poEdit).toStdString())) {
        marks[finding.line] = QStringLiteral("error %1: %2")
                                  .arg(finding.number)
                                  .arg(QString::fromStdString(finding.description));
    }
    return marks;
}

// After an edit the gutter checks only the lines it can affect; what it shows
// is what a check of the whole text shows, also far below the edit.
TEST(MacroGutter, AfterAnEditShowsWhatAWholeCheckShows) {
    // 100 variables, then a 101st far below: flagged until one of the 100 goes.
    QString base;
    for (int i = 0; i < 3000; ++i) {
        base += i == 0         ? QStringLiteral("w = 1\n")
                : i < 100      ? QStringLiteral("v%1 = 1\n").arg(i)
                : i == 2500    ? QStringLiteral("extra = 1\n")
                : i % 700 == 0 ? QStringLiteral("Foo bar\n")
                               : QStringLiteral("Wait 1\n");
    }
    const struct {
        const char* name;
        int line, removeLines;  // lines from line on are replaced by insert
        const char* insert;
        std::size_t marks;  // in the whole text after the edit
    } cases[] = {
        {"a line made invalid", 1200, 1, "Sned x\n", 6},
        {"a variable gone, so the one far below fits", 0, 1, "Wait 1\n", 4},
        {"lines inserted across a checkpoint", 995, 0, "Foo bar\nWait 2\nBar x\n", 7},
        {"lines removed across checkpoints, flagged ones among them", 650, 1500, "", 2},
        {"the last line", 2999, 1, "Send {BOGUS}", 6},
    };
    for (const auto& c : cases) {
        QPlainTextEdit edit;
        edit.setPlainText(base);
        MacroGutter gutter(&edit);
        const QTextDocument* document = edit.document();
        QTextCursor cursor(document->findBlockByNumber(c.line));
        const QTextBlock end = document->findBlockByNumber(c.line + c.removeLines);
        cursor.setPosition(end.isValid() ? end.position() : document->characterCount() - 1,
                           QTextCursor::KeepAnchor);
        cursor.insertText(QString::fromUtf8(c.insert));
        gutter.refreshMarks();
        EXPECT_EQ(gutter.marks(), fullCheck(edit)) << c.name;
        EXPECT_EQ(gutter.marks().size(), c.marks) << c.name;
    }
}

// A text far longer than the view is checked as far as the view, and further
// as it is scrolled into view.
TEST(MacroGutter, ChecksTheLinesBelowTheViewWhenTheyComeIntoView) {
    QPlainTextEdit edit;
    edit.resize(400, 200);
    MacroGutter gutter(&edit);
    edit.show();
    QString text;
    for (int i = 0; i < 30000; ++i)
        text += i == 5 || i == 29990 ? QStringLiteral("Foo bar\n") : QStringLiteral("Wait 1\n");
    edit.setPlainText(text);
    EXPECT_TRUE(QTest::qWaitFor([&] { return gutter.marks().count(6) == 1; }, 5000));
    EXPECT_EQ(gutter.marks().count(29991), 0u);
    edit.verticalScrollBar()->setValue(edit.verticalScrollBar()->maximum());
    EXPECT_TRUE(QTest::qWaitFor([&] { return gutter.marks().count(29991) == 1; }, 5000));
    EXPECT_EQ(gutter.marks(), fullCheck(edit));
}

}  // namespace
}  // namespace tarn::editor
