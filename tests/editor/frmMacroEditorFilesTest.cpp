// SPDX-License-Identifier: GPL-3.0-or-later
// New, Open, Save and Save As with every answer, their failures, large files.
#include <functional>
#include <vector>

#include <QDropEvent>
#include <QMimeData>
#include <QProgressBar>
#include <QTimer>

#include "EditorTest.h"
#include "EditorText.h"
#include "TextAreaFill.h"

namespace tarn::editor::test {
namespace {

const QString kSaveQuestion = "? Tarn Macro Editor: Save the current file";

TEST_F(EditorTest, NewOnAChangedUntitledTextSavesOrDiscardsIt) {
    auto form = editor();
    type(*form, "Wait 1");
    mAnswers = {true};
    mDialogAnswers = {path("new.mcr")};
    form->mnuFileNew_Click();
    EXPECT_EQ(shown(), QStringList{kSaveQuestion});
    EXPECT_EQ(contents(path("new.mcr")), "Wait 1");
    EXPECT_EQ(mSavedPaths, std::vector<QString>{path("new.mcr")});
    EXPECT_EQ(textOf(*form), "");
    EXPECT_EQ(form->windowTitle(), "Untitled - Tarn Macro Editor");
    type(*form, "Wait 2");
    mAnswers = {false};
    form->mnuFileNew_Click();
    EXPECT_EQ(mMessages.size(), 2u);
    EXPECT_EQ(mDialogs.size(), 1u);
    EXPECT_EQ(textOf(*form), "");
    EXPECT_FALSE(form->document().dirty());
}

// A changed text is offered for saving first; declined, the open goes on.
TEST_F(EditorTest, OpenShowsTheFileWithItsNameInTheCaption) {
    ASSERT_TRUE(QDir(mDir.path()).mkpath("one/two"));
    const QString file = put("one/two/demo.mcr", "\xEF\xBB\xBFRem caf\xC3\xA9\r\nWait 1");
    auto form = editor();
    type(*form, "unsaved");
    mAnswers = {false};
    mDialogAnswers = {file};
    form->mnuFileOpen_Click();
    EXPECT_EQ(shown(), QStringList{kSaveQuestion});
    ASSERT_EQ(mDialogs.size(), 1u);
    EXPECT_EQ(mDialogs[0].kind, CommonDialog::Kind::Open);
    EXPECT_EQ(mDialogs[0].fileName, "");
    EXPECT_EQ(textOf(*form), QString::fromUtf8("Rem caf\xC3\xA9\nWait 1"));
    EXPECT_EQ(form->windowTitle(), "demo.mcr - Tarn Macro Editor");
    EXPECT_EQ(form->document().fileName(), file);
    EXPECT_FALSE(form->document().dirty());
    EXPECT_FALSE(action(*form, "mnuEditUndo")->isEnabled());
    // Saved unchanged, it is the same file byte for byte.
    ASSERT_TRUE(form->SaveFile());
    EXPECT_EQ(contents(file), "\xEF\xBB\xBFRem caf\xC3\xA9\r\nWait 1");
    EXPECT_EQ(mSavedPaths, std::vector<QString>{file});
    // Open cancelled on the unchanged text asks nothing and leaves it empty
    // and untitled. Open and Save As start in the current file's folder,
    // else in the folder of the file last chosen.
    mDialogAnswers = {QString()};
    form->mnuFileOpen_Click();
    EXPECT_EQ(mMessages.size(), 1u);
    EXPECT_EQ(textOf(*form), "");
    EXPECT_EQ(form->windowTitle(), "Untitled - Tarn Macro Editor");
    EXPECT_TRUE(form->document().fileName().isEmpty());
    type(*form, "y");
    form->SaveFileAs();
    ASSERT_EQ(mDialogs.size(), 3u);
    EXPECT_EQ(mDialogs[1].initialFolder, path("one/two"));
    EXPECT_EQ(mDialogs[2].initialFolder, path("one/two"));
}

// The user chose to save and the save did not happen (dialog cancelled, write
// failed): neither Open nor closing the window throws the text away.
TEST_F(EditorTest, AYesWhoseSaveDidNotHappenKeepsTheTextAndTheWindow) {
    const QString other = put("other.mcr", "Wait 9");
    for (const QString& saveAnswer : {QString(), path("nowhere/a.mcr")}) {
        SCOPED_TRACE(saveAnswer.toStdString());
        mDialogs.clear();
        auto form = shownEditor();
        type(*form, "unsaved");
        mAnswers = {true};
        mDialogAnswers = {saveAnswer, other};
        action(*form, "mnuFileOpen")->trigger();
        ASSERT_EQ(mDialogs.size(), 1u);
        EXPECT_EQ(mDialogs[0].kind, CommonDialog::Kind::Save);
        EXPECT_EQ(textOf(*form), "unsaved");
        EXPECT_TRUE(form->document().dirty());
        mAnswers = {true};
        mDialogAnswers = {saveAnswer};
        action(*form, "mnuFileExit")->trigger();
        QApplication::processEvents();
        EXPECT_TRUE(form->isVisible());
        EXPECT_TRUE(form->loaded());
        EXPECT_EQ(textOf(*form), "unsaved");
        // No still discards and closes; the window loads again on its next use.
        mAnswers = {false};
        action(*form, "mnuFileExit")->trigger();
        EXPECT_FALSE(form->isVisible());
        EXPECT_FALSE(form->loaded());
        EXPECT_EQ(textOf(*form), "");
        form->Load();
        EXPECT_TRUE(form->loaded());
        EXPECT_EQ(form->windowTitle(), "Untitled - Tarn Macro Editor");
    }
}

// Each line keeps its own end through editing and Undo; a new line takes the
// file's most common end. Characters the text area breaks a line at come back
// where they were.
TEST_F(EditorTest, EveryLineKeepsItsOwnEndAndDropAndMiddleClickGoThroughPaste) {
    const QString mixed = put("mixed.mcr", "a\r\nb\nc\rd\n\ne\n");
    auto form = shownEditor();
    ASSERT_TRUE(form->OpenMacro(mixed));
    select(*form, 2, 2);
    type(*form, "x");
    select(*form, 6, 6);
    type(*form, "\nnew");
    ASSERT_EQ(textOf(*form), "a\nxb\nc\nnew\nd\n\ne\n");
    ASSERT_TRUE(form->SaveFile());
    EXPECT_EQ(contents(mixed), "a\r\nxb\nc\nnew\rd\n\ne\n");
    // Joining two lines keeps the end of the second.
    select(*form, 11, 11);
    key(*form, Qt::Key_Backspace);
    ASSERT_TRUE(form->SaveFile());
    EXPECT_EQ(contents(mixed), "a\r\nxb\nc\nnewd\n\ne\n");
    select(*form, 0, 0);
    type(*form, "\n");
    form->mnuEditUndo_Click();
    ASSERT_TRUE(form->SaveFile());
    EXPECT_EQ(contents(mixed), "a\r\nxb\nc\nnewd\n\ne\n");
    const QByteArray separators("a\xE2\x80\xA9x\xEF\xB7\x90\xEF\xB7\x91x\xEF\xB7\x90\r\n");
    const QString file = put("separators.mcr", separators);
    ASSERT_TRUE(form->OpenMacro(file));
    ASSERT_TRUE(form->SaveFile());
    EXPECT_EQ(contents(file), separators);

    // Text dragged into the area, or the X selection pasted with the middle
    // button, changes it only through Paste with its undo copy.
    form->mnuFileNew_Click();
    type(*form, "Wait 1");
    QMimeData mime;
    mime.setText("dropped");
    QWidget* area = text(*form)->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &drop);
    EXPECT_EQ(textOf(*form), "Wait 1");
    QTextCursor start(text(*form)->document());
    QTest::mouseClick(area, Qt::LeftButton, Qt::NoModifier,
                      text(*form)->cursorRect(start).center());
    EXPECT_EQ(text(*form)->textCursor().position(), 0);
    QClipboard* clipboard = QApplication::clipboard();
    if (!clipboard->supportsSelection()) return;  // no X selection on this platform
    clipboard->setText("Rem\r\n", QClipboard::Selection);
    QTest::mouseClick(area, Qt::MiddleButton, Qt::NoModifier, QPoint(1, 1));
    EXPECT_EQ(textOf(*form), "Rem\nWait 1");
    form->mnuEditUndo_Click();
    EXPECT_EQ(textOf(*form), "Wait 1");
}

TEST_F(EditorTest, OpenFailuresAreReportedAndLeaveTheWindowAsNewLeftIt) {
    const QString big = putTooLarge("big.mcr");
    QDir(mDir.path()).mkdir("folder.mcr");
    const std::pair<QString, QString> cases[] = {
        {path("missing.mcr"),
         "Tarn Open File: There is no data in the file or the file could not be found"},
        {path("nowhere/a.mcr"),
         "Tarn Macro Editor: Error during open - Path not found: " + path("nowhere") + " - 76"},
        {path("folder.mcr"), "Tarn Macro Editor: Error during open - Path/File access error - 75"},
        {big, "Tarn Macro Editor: Macro file too large to open with the Tarn Macro Editor - " +
                  tooLargeDescription() + " - 7"},
    };
    for (const auto& [file, message] : cases) {
        mMessages.clear();
        auto form = editor();
        EXPECT_FALSE(form->OpenMacro(file));
        EXPECT_EQ(shown(), QStringList{message});
        EXPECT_EQ(textOf(*form), "");
        EXPECT_EQ(form->windowTitle(), "Untitled - Tarn Macro Editor");
    }
}

TEST_F(EditorTest, SaveAsAsksBeforeOverwritingAndAFailedSaveLosesNothing) {
    const QString existing = put("old.mcr", "old text");
    auto form = editor();
    type(*form, "Wait 2");
    mAnswers = {false};
    mDialogAnswers = {existing};
    EXPECT_FALSE(form->SaveFileAs());
    ASSERT_EQ(mDialogs.size(), 1u);
    EXPECT_EQ(mDialogs[0].kind, CommonDialog::Kind::Save);
    EXPECT_EQ(shown(), QStringList{"? Tarn Macro Editor: Overwrite the existing " + existing});
    EXPECT_EQ(contents(existing), "old text");
    EXPECT_TRUE(form->document().dirty());
    EXPECT_TRUE(mSavedPaths.empty());
    mAnswers = {true};
    mDialogAnswers = {existing};
    EXPECT_TRUE(form->SaveFileAs());
    EXPECT_EQ(contents(existing), "Wait 2");
    EXPECT_EQ(form->windowTitle(), "old.mcr - Tarn Macro Editor");
    EXPECT_FALSE(form->document().dirty());
    EXPECT_EQ(mSavedPaths, std::vector<QString>{existing});
    // A name typed without an extension gets ".mcr"; a new file ends lines in CR LF.
    type(*form, "\n");
    mDialogAnswers.push_back(path("plain"));
    EXPECT_TRUE(form->SaveFileAs());
    EXPECT_EQ(contents(path("plain.mcr")), "Wait 2\r\n");
    type(*form, "0");
    mMessages.clear();
    mDialogAnswers = {path("nowhere/a.mcr")};
    EXPECT_FALSE(form->SaveFileAs());
    EXPECT_EQ(shown(), QStringList{"Tarn Macro Editor: Error during save - Path not found: " +
                                   path("nowhere") + " - 76"});
    EXPECT_EQ(form->document().fileName(), path("plain.mcr"));
    EXPECT_EQ(form->windowTitle(), "plain.mcr - Tarn Macro Editor");
    EXPECT_TRUE(form->document().dirty());
    EXPECT_EQ(mSavedPaths.size(), 2u);
    // Nor does New clear the text after a failed save.
    mAnswers = {true};
    ASSERT_TRUE(QFile::remove(path("plain.mcr")));
    ASSERT_TRUE(QDir(mDir.path()).mkdir("plain.mcr"));
    form->mnuFileNew_Click();
    EXPECT_EQ(textOf(*form), "Wait 2\n0");
}

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

// A large file goes into a shown editor piece by piece: meanwhile the progress
// bar shows, the text cannot be typed into and the commands are off; at the end
// the text is the file's, unchanged and the undo copy. Closing the window
// meanwhile gives up the rest without a question.
TEST_F(EditorTest, LargeFileFillsTheShownWindowInPiecesUnlessItCloses) {
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
    EXPECT_EQ(form->document().undoText(), expected);
    EXPECT_FALSE(form->document().dirty());
    EXPECT_FALSE(text(*form)->isReadOnly());
    EXPECT_TRUE(action(*form, "mnuFileOpen")->isEnabled());
    EXPECT_EQ(form->findChild<QProgressBar*>(), nullptr);

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
