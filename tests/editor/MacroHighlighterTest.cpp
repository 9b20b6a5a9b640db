// SPDX-License-Identifier: GPL-3.0-or-later
// Highlighting as a table of lines to the parts each character is shown as:
// K keyword, C comment, Q quoted text, N number, B braces, P prefix, blank
// nothing; and which lines of a text area get their colours when.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <functional>
#include <vector>

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

struct HighlightCase {
    const char* line;
    const char* parts;
};

const HighlightCase kCases[] = {
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

TEST(MacroHighlighter, ShowsEachPartAsARunReadsIt) {
    for (const HighlightCase& c : kCases) {
        const QString line = QString::fromUtf8(c.line);
        EXPECT_EQ(partsOf(line, MacroHighlighter::formatsOf(line)).toStdString(), c.parts)
            << c.line;
    }
}

// Only the lines in view are coloured, those scrolled into view as they come,
// and a changed line anew; the document never hears of it as a change.
TEST(MacroHighlighter, ColoursTheLinesInViewAsTheyComeIntoView) {
    QPlainTextEdit edit;
    edit.setLineWrapMode(QPlainTextEdit::NoWrap);
    edit.resize(400, 200);
    QString text;
    for (int i = 0; i < 2000; ++i)
        text += QStringLiteral("Send {ENTER}\n");
    edit.setPlainText(text);
    edit.document()->setModified(false);
    QSignalSpy changes(edit.document(), &QTextDocument::contentsChange);
    MacroHighlighter highlighter(&edit);
    edit.show();
    QApplication::processEvents();
    const QTextDocument& document = *edit.document();
    const auto coloured = [&](int piLine) {
        const QTextBlock block = document.findBlockByNumber(piLine);
        return MacroHighlighter::highlighted(block) &&
               partsOf(block.text(), block.layout()->formats()) == QStringLiteral("KKKK BBBBBBB");
    };
    struct Step {
        const char* what;
        std::function<void()> act;
        std::vector<int> colouredLines, plainLines;
    };
    const Step steps[] = {
        {"shown", [] {}, {0, 2}, {500, 1999}},
        {"scrolled to the end",
         [&] { edit.verticalScrollBar()->setValue(edit.verticalScrollBar()->maximum()); },
         {1999, 0},
         {500}},
        {"scrolled to the middle", [&] { edit.verticalScrollBar()->setValue(500); }, {500}, {1000}},
    };
    for (const Step& step : steps) {
        step.act();
        QApplication::processEvents();
        for (int line : step.colouredLines)
            EXPECT_TRUE(coloured(line)) << step.what << " " << line;
        for (int line : step.plainLines) {
            EXPECT_FALSE(MacroHighlighter::highlighted(document.findBlockByNumber(line)))
                << step.what << " " << line;
        }
    }
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

}  // namespace
}  // namespace tarn::editor
