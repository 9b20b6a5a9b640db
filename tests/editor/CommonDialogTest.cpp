// SPDX-License-Identifier: GPL-3.0-or-later
// The common dialog: its filters and the real Qt file dialog it shows.
#include <gtest/gtest.h>
#include <algorithm>

#include <QAbstractItemModel>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>

#include "CommonDialog.h"
#include "Failure.h"
#include "ModalWatch.h"

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
std::unique_ptr<ModalWatch> answerRealDialog(std::function<void(QFileDialog&)> inside,
                                             const QString& psvName) {
    return std::make_unique<ModalWatch>([inside, psvName](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) return (void)modal->close();
        inside(*dialog);
        if (psvName.isEmpty()) return dialog->reject();
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        name->clear();
        QTest::keyClicks(name, psvName);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

QStringList listed(QFileDialog& poDialog) {
    auto* view = poDialog.findChild<QListView*>(QStringLiteral("listView"));
    if (!view) return {};
    QStringList names;
    // The folder is read in the background: wait (bounded) for its entries.
    for (int tries = 0; tries < 200; ++tries) {
        QTest::qWait(10);
        names.clear();
        QAbstractItemModel* model = view->model();
        for (int row = 0; row < model->rowCount(view->rootIndex()); ++row)
            names << model->index(row, 0, view->rootIndex()).data().toString();
        if (names.contains(QStringLiteral("sub"))) break;
    }
    names.sort();
    return names;
}

// Programs are the files that may run and All Files is every file; the
// settings carry over from one use to the next.
TEST(CommonDialog, RealDialogListsChoosesAFileAndKeepsItsSettings) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    for (const auto& [name, executable] :
         {std::pair{"prog", true}, {"run.sh", true}, {"README", false}, {"a.mcr", false}}) {
        QFile file(dir.filePath(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        if (executable)
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    }
    QStringList programs, everything;
    auto watch = answerRealDialog(
        [&](QFileDialog& shown) {
            programs = listed(shown);
            auto* types = shown.findChild<QComboBox*>("fileTypeCombo");
            ASSERT_NE(types, nullptr);
            // Chosen as a user does, which is what the dialog follows.
            QTest::keyClick(types, Qt::Key_Down);
            ASSERT_EQ(types->currentIndex(), 1);
            everything = listed(shown);
        },
        QString());
    CommonDialog programsDialog;
    programsDialog.setFlags(CommonDialog::kFileDialogFlags);
    programsDialog.setFilter(QStringLiteral("Programs|") + CommonDialog::kExecutablesMask +
                             QStringLiteral("|All Files(*.*)|*.*"));
    programsDialog.setFileName(dir.filePath(QStringLiteral("prog")));
    EXPECT_THROW(programsDialog.ShowOpen(), Failure);
    EXPECT_EQ(programs, (QStringList{"prog", "run.sh", "sub"}));
    EXPECT_EQ(everything, (QStringList{"README", "a.mcr", "prog", "run.sh", "sub"}));

    CommonDialog dialog;
    dialog.setInitDir(dir.path());
    dialog.setFlags(CommonDialog::kFileDialogFlags);
    dialog.setDialogTitle("Find Macro");
    dialog.setFilter("Macros (*.mcr)|*.mcr|All Files(*.*)|*.*");
    dialog.setFilterIndex(2);
    watch = answerRealDialog(
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
    watch = answerRealDialog(
        [&](QFileDialog& shown) { EXPECT_EQ(shown.directory().path(), dir.path()); }, QString());
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
    watch = answerRealDialog(
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
