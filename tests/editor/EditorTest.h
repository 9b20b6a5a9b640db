// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the editor's window tests share: a temporary folder for files and the
// settings store, and the editor's questions and dialogs answered from scripts.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QByteArray>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <deque>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "CommonDialog.h"
#include "frmMacroEditor.h"

inline void PrintTo(const QString& psvText, std::ostream* poOut) {
    *poOut << '"' << psvText.toStdString() << '"';
}

namespace tarn::editor::test {

// One message box the editor showed: a question (answered from the script,
// No once it is used up) or a report.
struct Message {
    bool question;
    QString title;
    QString text;
};

class EditorTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    QString path(const QString& psvName) const { return mDir.filePath(psvName); }
    // A file in the test's folder with exactly these bytes.
    QString put(const QString& psvName, const QByteArray& poBytes) const {
        QFile file(path(psvName));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(poBytes);
        return path(psvName);
    }
    static QByteArray contents(const QString& psvPath) {
        QFile file(psvPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    // A loaded editor window (not shown).
    static std::unique_ptr<frmMacroEditor> editor() {
        auto form = std::make_unique<frmMacroEditor>();
        form->Load();
        return form;
    }
    // A loaded editor shown and active, so that its shortcuts work.
    static std::unique_ptr<frmMacroEditor> shownEditor() {
        auto form = editor();
        showActive(*form);
        return form;
    }
    static void showActive(frmMacroEditor& poForm) {
        poForm.show();
        poForm.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&poForm, 5000));
        text(poForm)->setFocus();
    }

  public:
    static QAction* action(frmMacroEditor& poForm, const char* psvName) {
        QAction* found = poForm.findChild<QAction*>(QLatin1String(psvName));
        EXPECT_NE(found, nullptr) << psvName;
        return found;
    }
    static QPlainTextEdit* text(frmMacroEditor& poForm) {
        return poForm.findChild<QPlainTextEdit*>(QStringLiteral("txtEdit"));
    }
    static QString textOf(frmMacroEditor& poForm);
    // Types into the text area through key events ("\n" is Enter).
    static void type(frmMacroEditor& poForm, const QString& psvKeys);
    static void key(frmMacroEditor& poForm, Qt::Key piKey,
                    Qt::KeyboardModifiers piModifiers = Qt::NoModifier) {
        QTest::keyClick(text(poForm), piKey, piModifiers);
    }
    static void select(frmMacroEditor& poForm, int piStart, int piEnd) {
        QTextCursor cursor = text(poForm)->textCursor();
        cursor.setPosition(piStart);
        cursor.setPosition(piEnd, QTextCursor::KeepAnchor);
        text(poForm)->setTextCursor(cursor);
    }

  protected:
    // Scripts, used up from the front: answers to the next questions (No when
    // empty), and the paths the next file dialogs return (empty: cancelled).
    std::deque<bool> mAnswers;
    std::deque<QString> mDialogAnswers;
    // What happened.
    std::vector<Message> mMessages;
    std::vector<CommonDialog::Request> mDialogs;
    std::vector<QString> mSavedPaths;

    QTemporaryDir mDir;
    QString msvOldSettings;
};

}  // namespace tarn::editor::test
