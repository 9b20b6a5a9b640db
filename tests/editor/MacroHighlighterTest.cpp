// Highlighting as a table of lines to the parts each character is shown as:
// K keyword, C comment, Q quoted text, N number, B braces, P prefix, blank
// nothing.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "MacroHighlighter.h"

namespace tarn::editor {
namespace {

using Part = MacroHighlighter::Part;

QString partsOf(const QTextBlock& block) {
    static const std::pair<Part, QChar> kLetters[] = {
        {Part::Keyword, 'K'}, {Part::Comment, 'C'},   {Part::Quoted, 'Q'},
        {Part::Number, 'N'},  {Part::KeyBraces, 'B'}, {Part::KeyPrefix, 'P'}};
    QString mask(block.length() - 1, QLatin1Char(' '));
    for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
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
    QTextDocument document;
    QString text;
    for (const HighlightCase& c : kCases)
        text += QString::fromUtf8(c.line) + QLatin1Char('\n');
    document.setPlainText(text);
    MacroHighlighter highlighter(&document);
    QTextBlock block = document.begin();
    for (const HighlightCase& c : kCases) {
        EXPECT_EQ(partsOf(block).toStdString(), QString::fromUtf8(c.parts).toStdString()) << c.line;
        block = block.next();
    }
}

TEST(MacroHighlighter, ChangesNeitherTextNorUndoNorModifiedState) {
    QPlainTextEdit edit;
    edit.setPlainText(QStringLiteral("Send {ENTER}\nRem x\n"));
    edit.document()->setModified(false);
    const int undoSteps = edit.document()->availableUndoSteps();
    QSignalSpy changes(edit.document(), &QTextDocument::contentsChange);
    MacroHighlighter highlighter(edit.document());
    highlighter.rehighlightBlock(edit.document()->begin());
    EXPECT_EQ(changes.count(), 0);
    EXPECT_FALSE(edit.document()->isModified());
    EXPECT_EQ(edit.document()->availableUndoSteps(), undoSteps);
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("Send {ENTER}\nRem x\n"));
}

}  // namespace
}  // namespace tarn::editor
