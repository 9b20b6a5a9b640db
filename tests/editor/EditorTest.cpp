// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorTest.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTest>

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

QString EditorTest::put(const QString& psvName, const QByteArray& poBytes) const {
    QFile file(path(psvName));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(poBytes);
    return path(psvName);
}

QByteArray EditorTest::contents(const QString& psvPath) {
    QFile file(psvPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

std::unique_ptr<frmMacroEditor> EditorTest::editor() {
    auto form = std::make_unique<frmMacroEditor>();
    form->Load();
    return form;
}

std::unique_ptr<frmMacroEditor> EditorTest::shownEditor() {
    auto form = editor();
    showActive(*form);
    return form;
}

void EditorTest::showActive(frmMacroEditor& poForm) {
    poForm.show();
    poForm.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&poForm, 5000));
    text(poForm)->setFocus();
}

QAction* EditorTest::action(frmMacroEditor& poForm, const char* psvName) {
    QAction* found = poForm.findChild<QAction*>(QLatin1String(psvName));
    EXPECT_NE(found, nullptr) << psvName;
    return found;
}

QPlainTextEdit* EditorTest::text(frmMacroEditor& poForm) {
    return poForm.findChild<QPlainTextEdit*>(QStringLiteral("txtEdit"));
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

void EditorTest::key(frmMacroEditor& poForm, Qt::Key piKey, Qt::KeyboardModifiers piModifiers) {
    QTest::keyClick(text(poForm), piKey, piModifiers);
}

void EditorTest::select(frmMacroEditor& poForm, int piStart, int piEnd) {
    QTextCursor cursor = text(poForm)->textCursor();
    cursor.setPosition(piStart);
    cursor.setPosition(piEnd, QTextCursor::KeepAnchor);
    text(poForm)->setTextCursor(cursor);
}

}  // namespace tarn::editor::test
