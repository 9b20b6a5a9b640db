// SPDX-License-Identifier: GPL-3.0-or-later
// The editor window's Wizard, recorder and Search menu: what each entry puts
// into the text area, where the caret ends, Undo after it, the Run dialog and
// its remembered file, the run wait box, recording on and off, and Find Next.
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QTest>
#include <QToolBar>

#include "EditorTest.h"
#include "Help.h"
#include "ModalWatch.h"
#include "Settings.h"
#include "frmFind.h"
#include "modTemplates.h"

namespace tarn::editor::test {
namespace {

class WizardTest : public EditorTest {};

// The template as the text area holds it: one "\n" per line end.
QString inArea(const QString& psvTemplate) {
    return QString(psvTemplate).replace(QString("\r\n"), QString("\n"));
}

TEST_F(WizardTest, EveryEntryReplacesTheSelectionAndUndoTakesItOut) {
    auto form = editor();
    form->setRunWait(3);
    mDialogAnswers = {QString("/usr/bin/xterm"), QString("/home/ann/list.txt")};
    const std::pair<const char*, QString> entries[] = {
        {"mnuMacroInsertRun", RunTemplate(QString("/usr/bin/xterm"), 3)},
        {"mnuMacroInsertRunExecute", RunExecuteTemplate(QString("/home/ann/list.txt"), 3)},
        {"mnuMacroInsertSetfocus", SetFocusTemplate()},
        {"mnuMacroInsertSend", SendTemplate()},
        {"mnuMacroInsertWait", WaitTemplate(3)},
        {"mnuMacroInsertTimeOut", TimeOutTemplate()},
        {"mnuMacroInsertGetWindowID", GetWindowIDTemplate()},
        {"mnuMacroInsertGetProcessID", GetProcessIDTemplate()},
        {"mnuMacroInsertCloseWndow", CloseWindowTemplate()},
        {"mnuMacroInsertKillProcess", KillProcessTemplate()},
        {"mnuMacroInsertShutDownWIndows", ShutDownWindowsTemplate()},
        {"mnuMacroInsertRem", QString("Rem ")},
    };
    for (const auto& [name, inserted] : entries) {
        text(*form)->setPlainText(QString("ab XY cd"));
        select(*form, 3, 5);
        action(*form, name)->trigger();
        const QString expected = QString("ab ") + inArea(inserted) + QString(" cd");
        EXPECT_EQ(textOf(*form), expected) << name;
        EXPECT_EQ(text(*form)->textCursor().position(), 3 + inArea(inserted).size()) << name;
        EXPECT_TRUE(form->dirty()) << name;
        EXPECT_TRUE(action(*form, "mnuEditUndo")->isEnabled()) << name;
        action(*form, "mnuEditUndo")->trigger();
        EXPECT_EQ(textOf(*form), QString("ab XY cd")) << name;
    }
    // Send stops behind its opening quote; Remark leaves no line break.
    text(*form)->clear();
    action(*form, "mnuMacroInsertSend")->trigger();
    EXPECT_TRUE(textOf(*form).endsWith(QString("\nSend \"")));
    EXPECT_EQ(form->insertText(), SendTemplate());
    action(*form, "mnuMacroInsertRem")->trigger();
    EXPECT_EQ(form->insertText(), SendTemplate());
}

TEST_F(WizardTest, RunAsksForAProgramAndTheDialogKeepsItsLastFile) {
    auto form = editor();
    mDialogAnswers = {QString("/opt/Tools/My.App.sh"), QString()};
    action(*form, "mnuMacroInsertRun")->trigger();
    action(*form, "mnuMacroInsertRun")->trigger();  // cancelled: nothing more
    EXPECT_EQ(textOf(*form), inArea(RunTemplate(QString("/opt/Tools/My.App.sh"), 5)));
    EXPECT_TRUE(textOf(*form).contains(QString("myID = Run \"/opt/Tools/My.App.sh\"")));
    ASSERT_EQ(mDialogs.size(), 2u);
    EXPECT_EQ(mDialogs[0].filter.at(0).masks, QStringList{CommonDialog::kExecutablesMask});
    EXPECT_EQ(mDialogs[1].fileName, "/opt/Tools/My.App.sh");
    // RunExecute starts from the same remembered name, showing every file.
    action(*form, "mnuMacroInsertRunExecute")->trigger();
    ASSERT_EQ(mDialogs.size(), 3u);
    EXPECT_EQ(mDialogs[2].fileName, "/opt/Tools/My.App.sh");
    EXPECT_EQ(CommonDialog::qtNameFilter(mDialogs[2].filter.at(0)), "All Files(*.*) (*)");
}

TEST_F(WizardTest, RunWaitBoxSetsTheWaitOfLaterTemplates) {
    auto form = editor();
    QString proposed;
    ModalWatch watch([&](QWidget* modal) {
        auto* box = qobject_cast<QInputDialog*>(modal);
        if (!box) return (void)modal->close();
        proposed = box->textValue();
        box->setTextValue("12");
        box->accept();
    });
    action(*form, "mnuSetDefaultRunWait")->trigger();
    EXPECT_EQ(proposed, "5");
    EXPECT_EQ(GetSetting(QString("Tarn"), kSectionSettings, kKeyEditorDefaultRunWait),
              QString("12"));
    action(*form, "mnuMacroInsertWait")->trigger();
    EXPECT_TRUE(textOf(*form).endsWith(QString("Wait 12\n\n")));
    // Cancel changes nothing.
    ModalWatch cancel([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    action(*form, "mnuSetDefaultRunWait")->trigger();
    EXPECT_EQ(form->runWait(), 12);
}

// A key event as the X server would deliver it offscreen: Qt's key and the
// modifiers held before the event (Qt then counts a modifier key's own change).
void send(frmMacroEditor& poForm, QEvent::Type type, int key, Qt::KeyboardModifiers before,
          const QString& text = QString()) {
    QKeyEvent event(type, key, before, text);
    QApplication::sendEvent(poForm.textArea(), &event);
}

TEST_F(WizardTest, RecorderWritesKeysAsASendStatementWhileTheMenusAreOff) {
    auto form = shownEditor();
    action(*form, "mnuMacroRecord")->trigger();
    EXPECT_TRUE(action(*form, "mnuMacroRecord")->isChecked());
    EXPECT_TRUE(action(*form, "tbToolBarRecord")->isChecked());
    for (const char* menu : {"mnuFile", "mnuEdit", "mnuSearch", "mnuHelp", "mnuMacro"})
        EXPECT_FALSE(form->menu(QLatin1String(menu))->menuAction()->isEnabled()) << menu;
    EXPECT_TRUE(action(*form, "mnuMacroSep1")->isVisible());
    EXPECT_TRUE(helpFile().isEmpty());

    // a, Ctrl held over b and c, Shift alone, F1, Tab.
    send(*form, QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QString("a"));
    send(*form, QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QString("a"));
    send(*form, QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier);
    for (int key : {Qt::Key_B, Qt::Key_C}) {
        send(*form, QEvent::KeyPress, key, Qt::ControlModifier);
        send(*form, QEvent::KeyRelease, key, Qt::ControlModifier);
    }
    send(*form, QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
    send(*form, QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    send(*form, QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier);
    send(*form, QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    send(*form, QEvent::KeyRelease, Qt::Key_F1, Qt::NoModifier);
    send(*form, QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QString("\t"));
    send(*form, QEvent::KeyRelease, Qt::Key_Tab, Qt::NoModifier, QString("\t"));
    EXPECT_EQ(helpTopicsWindow() && helpTopicsWindow()->isVisible(), false);

    // Off through the toolbar, the one way out while the menus are off.
    form->toolBar()->widgetForAction(action(*form, "tbToolBarRecord"))->setFocus();
    QTest::mouseClick(form->toolBar()->widgetForAction(action(*form, "tbToolBarRecord")),
                      Qt::LeftButton);
    EXPECT_FALSE(action(*form, "mnuMacroRecord")->isChecked());
    EXPECT_FALSE(action(*form, "tbToolBarRecord")->isChecked());
    EXPECT_TRUE(form->menu(QString("mnuFile"))->menuAction()->isEnabled());
    EXPECT_FALSE(action(*form, "mnuMacroSep1")->isVisible());
    EXPECT_EQ(helpFile(), programHelpFile());
    EXPECT_EQ(textOf(*form), QString("Send \"a^(bc)+(){F1}{TAB}\"\n"));

    // Off, keys type again and F1 is help; on and off at once gives "".
    type(*form, QString("x"));
    action(*form, "mnuMacroRecord")->trigger();
    action(*form, "mnuMacroRecord")->trigger();
    EXPECT_EQ(textOf(*form), QString("Send \"a^(bc)+(){F1}{TAB}\"\nxSend \"\"\n"));
}

TEST_F(WizardTest, FindNextSearchesWithTheHiddenDialog) {
    auto form = shownEditor();
    text(*form)->setPlainText(QString("one two one"));
    action(*form, "mnuSearchFind")->trigger();
    frmFind* find = form->findDialog();
    ASSERT_NE(find, nullptr);
    EXPECT_TRUE(find->isVisible());
    EXPECT_EQ(find->parentWidget(), form.get());
    QTest::keyClicks(find->findChild<QLineEdit*>(QString("txtFind")), "one");
    find->close();
    action(*form, "mnuSearchFindNext")->trigger();
    action(*form, "mnuSearchFindNext")->trigger();
    EXPECT_EQ(text(*form)->textCursor().selectionStart(), 8);
    EXPECT_FALSE(find->isVisible());
    EXPECT_EQ(form->findDialog(), find);
    // Closing the editor closes the dialog for good.
    form->Unload();
    EXPECT_EQ(form->findDialog(), nullptr);
}

}  // namespace
}  // namespace tarn::editor::test
