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
    frmMacroEditor::setQuestionHook([this](QWidget*, const QString& title, const QString& text) {
        mMessages.push_back({true, title, text});
        if (mAnswers.empty()) return false;
        const bool yes = mAnswers.front();
        mAnswers.pop_front();
        return yes;
    });
    frmMacroEditor::setReportHook([this](QWidget*, const QString& title, const QString& text) {
        mMessages.push_back({false, title, text});
    });
    frmMacroEditor::setSavedPathHook(
        [this](const QString& saved) { mSavedPaths.push_back(saved); });
    CommonDialog::setAnswerHook([this](const CommonDialog::Request& request) {
        mDialogs.push_back(request);
        const QString answer = mDialogAnswers.empty() ? QString() : mDialogAnswers.front();
        if (!mDialogAnswers.empty()) mDialogAnswers.pop_front();
        return answer.isEmpty() ? std::nullopt : std::optional<QString>(answer);
    });
}

void EditorTest::TearDown() {
    for (QWidget* window : QApplication::topLevelWidgets())
        window->close();
    QApplication::processEvents();
    frmMacroEditor::setQuestionHook(nullptr);
    frmMacroEditor::setReportHook(nullptr);
    frmMacroEditor::setSavedPathHook(nullptr);
    CommonDialog::setAnswerHook(nullptr);
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
