// SPDX-License-Identifier: GPL-3.0-or-later
// Filling the text area in pieces: whatever the pieces, the text area ends up
// holding exactly the text, line ends and characters outside the BMP included,
// and a stop between two pieces leaves exactly the lines before it.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <vector>

#include "EditorText.h"
#include "TextAreaFill.h"

namespace tarn::editor {
namespace {

TEST(TextAreaFill, GivesExactlyTheTextWhateverThePieces) {
    const struct {
        const char* name;
        QString text;
        qsizetype piece;
    } cases[] = {
        {"empty", QString(), 4},
        {"lines shorter than a piece", QStringLiteral("Wait 1\nWait 2\n\nSend x"), 8},
        {"a line longer than a piece", QStringLiteral("Rem a long line\nWait 1\n"), 4},
        {"one character a piece", QStringLiteral("a\n\nb\n"), 1},
        {"a character outside the BMP at a cut",
         QStringLiteral("ab") + QString::fromUtf8("\xF0\x9F\x98\x80") + QStringLiteral("cd"), 3},
        {"a no-break space and a tab", QString::fromUtf8("Send \xC2\xA0\t{ENTER}\n"), 5},
    };
    for (const auto& c : cases) {
        QPlainTextEdit edit;
        std::vector<qsizetype> stops;
        EXPECT_TRUE(FillTextArea(edit, c.text, c.piece, [&](qsizetype piDone) {
            stops.push_back(piDone);
            return true;
        })) << c.name;
        EXPECT_EQ(exactText(edit), c.text) << c.name;
        EXPECT_TRUE(std::is_sorted(stops.begin(), stops.end())) << c.name;
        EXPECT_FALSE(edit.document()->isUndoAvailable()) << c.name;
        EXPECT_EQ(edit.textCursor().position(), 0) << c.name;
        EXPECT_FALSE(edit.textCursor().hasSelection()) << c.name;
    }
}

TEST(TextAreaFill, StopsBetweenTwoPiecesAtALineEnd) {
    QPlainTextEdit edit;
    const QString text = QStringLiteral("Wait 1\nWait 2\nWait 3\n");
    EXPECT_FALSE(FillTextArea(edit, text, 10, [](qsizetype) { return false; }));
    EXPECT_EQ(exactText(edit), QStringLiteral("Wait 1\n"));
}

}  // namespace
}  // namespace tarn::editor
