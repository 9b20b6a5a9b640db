// SPDX-License-Identifier: GPL-3.0-or-later
// A large file goes into a shown editor piece by piece: meanwhile the progress
// bar shows, the text cannot be typed into and the commands are off; at the end
// the text is the file's, unchanged and the undo copy; closing the window
// meanwhile gives up the rest without a question.
#include <QApplication>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <functional>

#include "EditorTest.h"

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

}  // namespace
}  // namespace tarn::editor::test
