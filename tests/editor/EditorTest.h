// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the editor's window tests share: a temporary folder for files and the
// settings store, the editor's questions, reports and file dialogs answered
// from scripts, the saved paths the player would receive, and the window's
// controls found by their object names.

#include <gtest/gtest.h>

#include <QAction>
#include <QByteArray>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
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
    QString put(const QString& psvName, const QByteArray& poBytes) const;
    static QByteArray contents(const QString& psvPath);

    // A loaded editor window (not shown).
    std::unique_ptr<frmMacroEditor> editor();
    // A loaded editor shown and active, so that its shortcuts work.
    std::unique_ptr<frmMacroEditor> shownEditor();
    static void showActive(frmMacroEditor& poForm);

  public:
    static QAction* action(frmMacroEditor& poForm, const char* psvName);
    static QPlainTextEdit* text(frmMacroEditor& poForm);
    static QString textOf(frmMacroEditor& poForm);
    // Types into the text area through key events ("\n" is Enter).
    static void type(frmMacroEditor& poForm, const QString& psvKeys);
    static void key(frmMacroEditor& poForm, Qt::Key piKey,
                    Qt::KeyboardModifiers piModifiers = Qt::NoModifier);
    static void select(frmMacroEditor& poForm, int piStart, int piEnd);

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
