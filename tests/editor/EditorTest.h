// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the editor's window tests share: a temporary folder for files and the
// settings store, the editor's questions and dialogs answered from scripts, and
// the paths it saved to.

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
#include <memory>
#include <ostream>
#include <vector>

#include "EditorScript.h"
#include "EditorText.h"
#include "MacroFileIO.h"
#include "Settings.h"

inline void PrintTo(const QString& psvText, std::ostream* poOut) {
    *poOut << '"' << psvText.toStdString() << '"';
}

namespace tarn::editor::test {

class EditorTest : public ::testing::Test, protected EditorScript {
  protected:
    void SetUp() override {
        ASSERT_TRUE(mDir.isValid());
        msvOldSettings = settingsFolder();
        setSettingsFolder(path("config"));
        QApplication::clipboard()->clear();
        install();
        frmMacroEditor::setSavedPathHook(
            [this](const QString& saved) { mSavedPaths.push_back(saved); });
    }
    void TearDown() override {
        for (QWidget* window : QApplication::topLevelWidgets())
            window->close();
        QApplication::processEvents();
        uninstall();
        frmMacroEditor::setSavedPathHook(nullptr);
        setSettingsFolder(msvOldSettings);
    }

    QString path(const QString& psvName) const { return mDir.filePath(psvName); }
    // A file in the test's folder with exactly these bytes.
    QString put(const QString& psvName, const QByteArray& poBytes) const {
        QFile file(path(psvName));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(poBytes);
        return path(psvName);
    }
    // A sparse file one byte over what a macro file may hold: it costs no disk.
    QString putTooLarge(const QString& psvName) const {
        QFile file(path(psvName));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(kMaxMacroFileBytes + 1));
        return path(psvName);
    }
    static QByteArray contents(const QString& psvPath) {
        QFile file(psvPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
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
    static QString textOf(frmMacroEditor& poForm) { return exactText(*text(poForm)); }
    // Types into the text area through key events ("\n" is Enter).
    static void type(frmMacroEditor& poForm, const QString& psvKeys) {
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
    std::vector<QString> mSavedPaths;

    QTemporaryDir mDir;
    QString msvOldSettings;
};

}  // namespace tarn::editor::test
