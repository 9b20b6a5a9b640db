// SPDX-License-Identifier: GPL-3.0-or-later
// Colours as the parts each character is shown as: K keyword, C comment,
// Q quoted text, N number, B braces, P prefix, blank nothing; and the gutter.
#include <gtest/gtest.h>
#include <functional>
#include <vector>

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "EditorText.h"
#include "MacroCheck.h"
#include "MacroGutter.h"
#include "MacroHighlighter.h"

namespace tarn::editor {
namespace {

using Part = MacroHighlighter::Part;

QString partsOf(const QString& line, const QList<QTextLayout::FormatRange>& formats) {
    static const std::pair<Part, QChar> kLetters[] = {
        {Part::Keyword, 'K'}, {Part::Comment, 'C'},   {Part::Quoted, 'Q'},
        {Part::Number, 'N'},  {Part::KeyBraces, 'B'}, {Part::KeyPrefix, 'P'}};
    QString mask(line.size(), QLatin1Char(' '));
    for (const QTextLayout::FormatRange& range : formats) {
        QChar letter = '?';
        for (const auto& [part, name] : kLetters) {
            if (range.format == MacroHighlighter::format(part)) letter = name;
        }
        for (int i = range.start; i < range.start + range.length; ++i)
            mask[i] = letter;
    }
    return mask;
}

TEST(MacroHighlighter, ShowsEachPartAsARunReadsIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"Rem Send {ENTER}", "CCCCCCCCCCCCCCCC"},
        {"  rem x = 5", "  CCCCCCCCC"},
        {"Send \"+{F4}\"", "KKKK QPBBBBQ"},
        {"send Hello~^(ac){{}", "KKKK      PPB  BBBB"},
        {"Send 12", "KKKK NN"},
        {"Wait 2.5", "KKKK NNN"},
        {"Wait 05", "KKKK   "},  // not a number's standard form: a text
        {"SetFocus \"Untitled, x\",1,True", "KKKKKKKK QQQQQQQQQQQQQ N     "},
        {"x = GetWindowID \"Ed\",2", "    KKKKKKKKKKK QQQQ N"},
        {"pid = Run \"xterm\"", "      KKK QQQQQQQ"},
        {"KillProcess GetProcessID w", "KKKKKKKKKKK KKKKKKKKKKKK  "},
        {"ShutDownWindows", "KKKKKKKKKKKKKKK"},
        {"Wait \"7\"", "KKKK QQQ"},
        {"Sned {ENTER}", "            "},       // no keyword: a run refuses it
        {"Send\t{ENTER}", "            "},      // a tab does not end the keyword
        {"SetFocus \"open", "KKKKKKKK      "},  // an unclosed quote: nothing inside
        {"Send ü{ENTER}", "KKKK  BBBBBBB"},
    };
    for (const auto& [text, parts] : cases) {
        const QString line = QString::fromUtf8(text);
        EXPECT_EQ(partsOf(line, MacroHighlighter::formatsOf(line)).toStdString(), parts) << text;
    }
}

// Only the lines in view are coloured, those scrolled into view as they come,
// and a changed line anew; the document never hears of it as a change.
TEST(MacroHighlighter, ColoursTheLinesInViewAsTheyComeIntoView) {
    QPlainTextEdit edit;
    edit.setLineWrapMode(QPlainTextEdit::NoWrap);
    edit.resize(400, 200);
    edit.setPlainText(QStringLiteral("Send {ENTER}\n").repeated(2000));
    edit.document()->setModified(false);
    QSignalSpy changes(edit.document(), &QTextDocument::contentsChange);
    MacroHighlighter highlighter(&edit);
    edit.show();
    QApplication::processEvents();
    const QTextDocument& document = *edit.document();
    const auto expectColoured = [&](const char* psvWhen, std::vector<int> pColoured,
                                    std::vector<int> pPlain) {
        QApplication::processEvents();
        for (int line : pColoured) {
            const QTextBlock block = document.findBlockByNumber(line);
            EXPECT_TRUE(MacroHighlighter::highlighted(block)) << psvWhen << " " << line;
            EXPECT_EQ(partsOf(block.text(), block.layout()->formats()), "KKKK BBBBBBB") << line;
        }
        for (int line : pPlain)
            EXPECT_FALSE(MacroHighlighter::highlighted(document.findBlockByNumber(line)))
                << psvWhen << " " << line;
    };
    expectColoured("shown", {0, 2}, {500, 1999});
    edit.verticalScrollBar()->setValue(edit.verticalScrollBar()->maximum());
    expectColoured("scrolled to the end", {1999, 0}, {500});
    edit.verticalScrollBar()->setValue(500);
    expectColoured("scrolled to the middle", {500}, {1000});
    EXPECT_EQ(changes.count(), 0);
    EXPECT_FALSE(edit.document()->isModified());

    // Lines changed in view are coloured as they now read: those at both ends
    // of one change (edits in one edit block make one change), and a line a
    // change breaks.
    QTextCursor cursor(edit.document()->findBlockByNumber(501));
    cursor.beginEditBlock();
    cursor.insertText("Rem ");
    QTextCursor(edit.document()->findBlockByNumber(503)).insertText("Rem ");
    cursor.endEditBlock();
    cursor = QTextCursor(edit.document()->findBlockByNumber(505));
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 5);
    cursor.insertText("1\nRem ");
    QApplication::processEvents();
    for (int line : {501, 503, 505, 506}) {
        const QTextBlock changed = document.findBlockByNumber(line);
        EXPECT_EQ(
            partsOf(changed.text(), changed.layout()->formats()).toStdString(),
            partsOf(changed.text(), MacroHighlighter::formatsOf(changed.text())).toStdString())
            << line;
    }
    EXPECT_EQ(document.findBlockByNumber(503).text(), "Rem Send {ENTER}");
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

// The gutter beside a text area: line numbers at the lines' heights, marks
// with their findings where tarn --check would flag a line; a text far longer
// than the view is checked as far as the view, and further as it is scrolled
// into view.
TEST(MacroGutter, MarksTheLinesACheckFlagsAsFarAsTheView) {
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

    for (QTextBlock block = edit.document()->begin(); block.isValid(); block = block.next()) {
        const QRect line = edit.cursorRect(QTextCursor(block));
        const int y = gutter.mapFrom(&edit, edit.viewport()->mapTo(&edit, line.center())).y();
        EXPECT_EQ(gutter.lineAt(y), block.blockNumber() + 1);
    }

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

}  // namespace
}  // namespace tarn::editor
