// SPDX-License-Identifier: GPL-3.0-or-later
// A large file goes into a shown editor piece by piece: meanwhile the progress
// bar shows, the text cannot be typed into and the commands are off; at the end
// the text is the file's, unchanged and the undo copy; closing the window
// meanwhile gives up the rest without a question. Filled alone, the text area
// holds exactly the text whatever the pieces.
#include <gtest/gtest.h>
#include <functional>
#include <vector>

#include <QApplication>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include "EditorTest.h"
#include "EditorText.h"
#include "TextAreaFill.h"

namespace tarn::editor::test {
namespace {

// Lines of macro text making up a little over 1.5 MiB.
QByteArray largeMacro() {
    QByteArray bytes;
    for (int i = 0; bytes.size() < 1600 * 1024; ++i)
        bytes += "Send \"line " + QByteArray::number(i) + "{ENTER}\"\r\n";
    return bytes;
}

// Runs poStep once, at the first moment the window answers while a file loads.
void whileLoading(frmMacroEditor& poForm, std::function<void()> poStep) {
    auto* probe = new QTimer(&poForm);
    probe->setInterval(0);
    QObject::connect(probe, &QTimer::timeout, probe, [&poForm, probe, step = std::move(poStep)] {
        if (!poForm.loading()) return;
        probe->stop();
        step();
    });
    probe->start();
}

TEST_F(EditorTest, LargeFileFillsTheShownWindowInPieces) {
    auto form = shownEditor();
    const QByteArray bytes = largeMacro();
    const QString file = put(QStringLiteral("large.mcr"), bytes);
    struct {
        bool progressShown = false, readOnly = false, commandsOff = false;
    } during;
    whileLoading(*form, [&] {
        during.progressShown = form->findChild<QProgressBar*>() != nullptr && form->loading();
        during.readOnly = text(*form)->isReadOnly();
        during.commandsOff = !action(*form, "mnuFileOpen")->isEnabled();
    });
    ASSERT_TRUE(form->OpenMacro(file));
    EXPECT_TRUE(during.progressShown);
    EXPECT_TRUE(during.readOnly);
    EXPECT_TRUE(during.commandsOff);
    const QString expected = QString::fromUtf8(bytes).replace(QStringLiteral("\r\n"), "\n");
    EXPECT_EQ(textOf(*form), expected);
    EXPECT_EQ(form->undoText(), expected);
    EXPECT_FALSE(form->dirty());
    EXPECT_FALSE(text(*form)->isReadOnly());
    EXPECT_TRUE(action(*form, "mnuFileOpen")->isEnabled());
    EXPECT_EQ(form->findChild<QProgressBar*>(), nullptr);
}

TEST_F(EditorTest, ClosingWhileAFileLoadsGivesItUp) {
    auto form = shownEditor();
    const QString file = put(QStringLiteral("large.mcr"), largeMacro());
    whileLoading(*form, [&] { form->close(); });
    EXPECT_FALSE(form->OpenMacro(file));
    EXPECT_TRUE(mMessages.empty());  // no question about saving a half file
    EXPECT_EQ(textOf(*form), QString());
    EXPECT_EQ(form->windowTitle(), frmMacroEditor::kUntitledCaption);
    EXPECT_FALSE(form->loaded());
}

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
}  // namespace tarn::editor::test
