// SPDX-License-Identifier: GPL-3.0-or-later
// What the real file dialog lists for the Run template's filter: "Programs"
// shows the folders and the files that may be run, whatever their names;
// "All Files(*.*)" shows every file, names without a dot included.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include "CommonDialog.h"
#include "Failure.h"
#include "ModalWatch.h"

namespace tarn::editor {
namespace {

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

TEST(CommonDialogFilter, ProgramsAreTheFilesThatMayRunAndAllFilesIsEveryFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    for (const auto& [name, executable] :
         {std::pair{"prog", true}, {"run.sh", true}, {"notes", false}, {"a.txt", false}}) {
        QFile file(dir.filePath(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        if (executable)
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    }
    QStringList programs, everything;
    ModalWatch watch([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        programs = listed(*dialog);
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        // Chosen as a user does, which is what the dialog follows.
        QTest::keyClick(types, Qt::Key_Down);
        ASSERT_EQ(types->currentIndex(), 1);
        everything = listed(*dialog);
        dialog->reject();
    });
    CommonDialog dialog;
    dialog.setFlags(CommonDialog::kFileDialogFlags);
    dialog.setFilter(QStringLiteral("Programs|") + CommonDialog::kExecutablesMask +
                     QStringLiteral("|All Files(*.*)|*.*"));
    dialog.setFileName(dir.filePath(QStringLiteral("prog")));
    EXPECT_THROW(dialog.ShowOpen(), Failure);
    EXPECT_EQ(programs, (QStringList{"prog", "run.sh", "sub"}));
    EXPECT_EQ(everything, (QStringList{"a.txt", "notes", "prog", "run.sh", "sub"}));
}

}  // namespace
}  // namespace tarn::editor
