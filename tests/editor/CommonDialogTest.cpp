// SPDX-License-Identifier: GPL-3.0-or-later
// The common dialog: filters in the program's notation, the real Qt file
// dialog it shows, the chosen path, the settings that carry over from one use
// to the next, and the cancel that is failure 32755.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "CommonDialog.h"
#include "Failure.h"

namespace tarn::editor {
namespace {

TEST(CommonDialog, FiltersInTheProgramsNotation) {
    const auto choices =
        CommonDialog::parseFilter("Macros (*.mcr)|*.mcr|Text|*.txt; *.log|All Files(*.*)|*.*");
    ASSERT_EQ(choices.size(), 3u);
    EXPECT_EQ(CommonDialog::qtNameFilter(choices[0]), "Macros (*.mcr) (*.mcr)");
    EXPECT_EQ(CommonDialog::qtNameFilter(choices[1]), "Text (*.txt *.log)");
    // Every file, names without a dot included.
    EXPECT_EQ(CommonDialog::qtNameFilter(choices[2]), "All Files(*.*) (*)");
    EXPECT_TRUE(CommonDialog::parseFilter("Macros (*.mcr)").empty());
}

// Runs `inside` on the real dialog once it is up, then confirms it with the
// given name typed into it, or cancels it when the name is empty.
void answerRealDialog(std::function<void(QFileDialog&)> inside, const QString& psvName) {
    QTimer::singleShot(0, [inside, psvName] {
        QFileDialog* dialog = nullptr;
        (void)QTest::qWaitFor(
            [&] {
                dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                return dialog != nullptr;
            },
            5000);
        if (!dialog) return;
        inside(*dialog);
        if (psvName.isEmpty()) {
            dialog->reject();
            return;
        }
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        name->clear();
        QTest::keyClicks(name, psvName);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

TEST(CommonDialog, RealDialogChoosesAFileAndKeepsItsSettings) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile(dir.filePath("README")).open(QIODevice::WriteOnly);
    QFile(dir.filePath("a.mcr")).open(QIODevice::WriteOnly);

    CommonDialog dialog;
    dialog.setInitDir(dir.path());
    dialog.setFlags(CommonDialog::kFileDialogFlags);
    dialog.setDialogTitle("Find Macro");
    dialog.setFilter("Macros (*.mcr)|*.mcr|All Files(*.*)|*.*");
    dialog.setFilterIndex(2);
    answerRealDialog(
        [&](QFileDialog& shown) {
            EXPECT_EQ(shown.windowTitle(), "Find Macro");
            EXPECT_EQ(shown.directory().path(), dir.path());
            EXPECT_EQ(shown.selectedNameFilter(), "All Files(*.*)");
            EXPECT_EQ(shown.fileMode(), QFileDialog::ExistingFile);
        },
        "README");
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileName(), dir.filePath("README"));
    EXPECT_EQ(dialog.FilterIndex(), 2);

    // The next use starts where this one ended; a cancel is 32755.
    answerRealDialog([&](QFileDialog& shown) { EXPECT_EQ(shown.directory().path(), dir.path()); },
                     QString());
    try {
        dialog.ShowSave();
        ADD_FAILURE() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), 32755);
    }
    EXPECT_EQ(dialog.FileName(), dir.filePath("README"));

    // A save dialog never asks about overwriting: the editor does that itself.
    dialog.setFilterIndex(1);
    dialog.setFileName(QString());
    answerRealDialog(
        [&](QFileDialog& shown) {
            EXPECT_EQ(shown.acceptMode(), QFileDialog::AcceptSave);
            EXPECT_TRUE(shown.testOption(QFileDialog::DontConfirmOverwrite));
        },
        "new");
    dialog.ShowSave();
    EXPECT_EQ(dialog.FileName(), dir.filePath("new.mcr"));
}

}  // namespace
}  // namespace tarn::editor
