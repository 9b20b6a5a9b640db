// SPDX-License-Identifier: GPL-3.0-or-later
// The macro being edited, without its window: the record of line ends follows
// edits, the dirty flag follows changes, and the undo copy brings back the text
// with the ends its lines had.
#include <gtest/gtest.h>

#include <QTextCursor>
#include <QTextDocument>

#include "EditorText.h"
#include "MacroDocument.h"

namespace tarn::editor {
namespace {

using Ends = std::vector<LineEnd>;

// A document holding a file's text in the file's format.
struct Opened {
    QTextDocument text;
    MacroDocument document{text};
    explicit Opened(const QString& content, const Ends& ends) {
        document.setLoading(true);
        text.setPlainText(content);
        document.setLoading(false);
        MacroFileFormat format;
        format.lineEnds = ends;
        document.opened(QStringLiteral("/tmp/a.mcr"), format, {});
    }
    void replace(int from, int to, const QString& with) {
        QTextCursor cursor(&text);
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        cursor.insertText(with);
    }
};

TEST(MacroDocument, EditsMoveTheLineEndsOfTheLinesTheyTouchAndUndoBringsThemBack) {
    constexpr LineEnd CrLf = LineEnd::CrLf, Lf = LineEnd::Lf, Cr = LineEnd::Cr;
    const Ends file = {Lf, Cr, CrLf};  // "a" LF "b" CR "c" CR LF "d"
    const struct {
        const char* name;
        int from, to;
        const char* with;
        Ends after;
    } rows[] = {
        {"typing inside a line", 0, 0, "x", file},
        {"a new line gets the common end", 1, 1, "\n", {CrLf, Lf, Cr, CrLf}},
        {"joining two lines drops one end", 3, 4, "", {Lf, CrLf}},
        {"replacing across lines", 2, 5, "q\nrs", {Lf, CrLf, CrLf}},
        {"emptying the text", 0, 7, "", {}},
    };
    for (const auto& row : rows) {
        Opened opened(QStringLiteral("a\nb\nc\nd"), file);
        EXPECT_FALSE(opened.document.dirty()) << row.name;
        opened.document.takeUndoCopy();
        opened.replace(row.from, row.to, QString::fromLatin1(row.with));
        EXPECT_TRUE(opened.document.dirty()) << row.name;
        EXPECT_EQ(opened.document.format().lineEnds, row.after) << row.name;
        EXPECT_EQ(opened.document.undoText(), "a\nb\nc\nd") << row.name;
        opened.document.rollBack();
        EXPECT_EQ(exactText(opened.text), "a\nb\nc\nd") << row.name;
        EXPECT_EQ(opened.document.format().lineEnds, file) << row.name;
        EXPECT_TRUE(opened.document.undoEmpty()) << row.name;
    }
}

TEST(MacroDocument, SavedAndClearedAreCleanAndClearedIsUntitledWithNothingToUndo) {
    Opened opened(QStringLiteral("a"), {});
    opened.replace(1, 1, QStringLiteral("b"));
    MacroFileFormat format;
    format.byteOrderMark = true;
    opened.document.saved(QStringLiteral("/tmp/b.mcr"), format, {});
    EXPECT_FALSE(opened.document.dirty());
    EXPECT_EQ(opened.document.fileName(), "/tmp/b.mcr");
    EXPECT_TRUE(opened.document.format().byteOrderMark);
    EXPECT_EQ(opened.document.undoText(), "ab");
    opened.text.setPlainText(QString());
    opened.document.cleared();
    EXPECT_FALSE(opened.document.dirty());
    EXPECT_TRUE(opened.document.fileName().isEmpty());
    EXPECT_FALSE(opened.document.format().byteOrderMark);
    opened.replace(0, 0, QStringLiteral("z"));
    opened.document.rollBack();
    EXPECT_EQ(exactText(opened.text), "");
    EXPECT_TRUE(opened.document.dirty());
}

}  // namespace
}  // namespace tarn::editor
