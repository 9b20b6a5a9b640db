// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorTest.h"

#include "EditorText.h"
#include "Settings.h"

namespace tarn::editor::test {

void EditorTest::SetUp() {
    ASSERT_TRUE(mDir.isValid());
    msvOldSettings = settingsFolder();
    setSettingsFolder(path("config"));
    QApplication::clipboard()->clear();
    install();
    frmMacroEditor::setSavedPathHook(
        [this](const QString& saved) { mSavedPaths.push_back(saved); });
}

void EditorTest::TearDown() {
    for (QWidget* window : QApplication::topLevelWidgets())
        window->close();
    QApplication::processEvents();
    uninstall();
    frmMacroEditor::setSavedPathHook(nullptr);
    setSettingsFolder(msvOldSettings);
}

QString EditorTest::textOf(frmMacroEditor& poForm) {
    return exactText(*text(poForm));
}

void EditorTest::type(frmMacroEditor& poForm, const QString& psvKeys) {
    const QStringList lines = psvKeys.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0) key(poForm, Qt::Key_Return);
        for (QChar c : lines[i]) {
            if (c.unicode() < 0x80) {
                QTest::keyClick(text(poForm), c.toLatin1());
            } else {
                QTest::sendKeyEvent(QTest::Click, text(poForm), Qt::Key_unknown, QString(c),
                                    Qt::NoModifier);
            }
        }
    }
}

}  // namespace tarn::editor::test
