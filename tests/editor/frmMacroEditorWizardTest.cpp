// SPDX-License-Identifier: GPL-3.0-or-later
// The Wizard menu, the recorder and Find Next; the templates alone.
#include <string>

#include <QInputDialog>
#include <QKeyEvent>
#include <QStringList>

#include "EditorTest.h"
#include "Help.h"
#include "ModalWatch.h"
#include "ProgramInfo.h"
#include "Settings.h"
#include "frmFind.h"
#include "modTemplates.h"

namespace tarn::editor::test {
namespace {

// The template as the text area holds it: one "\n" per line end.
QString inArea(const QString& psvTemplate) {
    return QString(psvTemplate).replace(QString("\r\n"), QString("\n"));
}

TEST_F(EditorTest, EveryEntryReplacesTheSelectionAndUndoTakesItOut) {
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

TEST_F(EditorTest, RunAsksForAProgramTheDialogKeepsItsLastFileAndTheWaitBoxSetsTheWait) {
    auto form = editor();
    mDialogAnswers = {QString("/opt/Tools/My.App.sh"), QString()};
    action(*form, "mnuMacroInsertRun")->trigger();
    action(*form, "mnuMacroInsertRun")->trigger();  // cancelled: nothing more
    EXPECT_EQ(textOf(*form), inArea(RunTemplate(QString("/opt/Tools/My.App.sh"), 5)));
    ASSERT_EQ(mDialogs.size(), 2u);
    EXPECT_EQ(mDialogs[0].filter.at(0).masks, QStringList{CommonDialog::kExecutablesMask});
    EXPECT_EQ(mDialogs[1].fileName, "/opt/Tools/My.App.sh");
    // RunExecute starts from the same remembered name, showing every file.
    action(*form, "mnuMacroInsertRunExecute")->trigger();
    ASSERT_EQ(mDialogs.size(), 3u);
    EXPECT_EQ(mDialogs[2].fileName, "/opt/Tools/My.App.sh");
    EXPECT_EQ(CommonDialog::qtNameFilter(mDialogs[2].filter.at(0)), "All Files(*.*) (*)");

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

TEST_F(EditorTest, RecorderWritesKeysAsASendStatementWhileTheMenusAreOffAndFindNextSearches) {
    auto form = shownEditor();
    EXPECT_FALSE(action(*form, "mnuMacroEditMenu")->isVisible());
    action(*form, "mnuMacroRecord")->trigger();
    EXPECT_TRUE(action(*form, "mnuMacroRecord")->isChecked());
    EXPECT_TRUE(action(*form, "tbToolBarRecord")->isChecked());
    for (const char* menu : {"mnuFile", "mnuEdit", "mnuSearch", "mnuHelp", "mnuMacro"})
        EXPECT_FALSE(form->menu(QLatin1String(menu))->menuAction()->isEnabled()) << menu;
    // The Edit Menu entries stay reachable in the Wizard menu while recording.
    EXPECT_TRUE(action(*form, "mnuMacroSep1")->isVisible());
    EXPECT_TRUE(action(*form, "mnuMacroEditMenu")->isVisible());
    EXPECT_TRUE(helpFile().isEmpty());

    // a, Ctrl held over b and c, Shift alone, F1, Tab.
    const auto click = [&](int key, Qt::KeyboardModifiers held, const QString& text = {}) {
        send(*form, QEvent::KeyPress, key, held, text);
        send(*form, QEvent::KeyRelease, key, held, text);
    };
    click(Qt::Key_A, Qt::NoModifier, "a");
    send(*form, QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier);
    click(Qt::Key_B, Qt::ControlModifier);
    click(Qt::Key_C, Qt::ControlModifier);
    send(*form, QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
    send(*form, QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    send(*form, QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier);
    click(Qt::Key_F1, Qt::NoModifier);
    click(Qt::Key_Tab, Qt::NoModifier, "\t");
    EXPECT_EQ(helpTopicsWindow() && helpTopicsWindow()->isVisible(), false);

    // Off through the toolbar, the one way out while the menus are off.
    form->toolBar()->widgetForAction(action(*form, "tbToolBarRecord"))->setFocus();
    QTest::mouseClick(form->toolBar()->widgetForAction(action(*form, "tbToolBarRecord")),
                      Qt::LeftButton);
    EXPECT_FALSE(action(*form, "mnuMacroRecord")->isChecked());
    EXPECT_FALSE(action(*form, "tbToolBarRecord")->isChecked());
    EXPECT_TRUE(form->menu(QString("mnuFile"))->menuAction()->isEnabled());
    EXPECT_FALSE(action(*form, "mnuMacroSep1")->isVisible());
    EXPECT_FALSE(action(*form, "mnuMacroEditMenu")->isVisible());
    EXPECT_EQ(helpFile(), programHelpFile());
    EXPECT_EQ(textOf(*form), QString("Send \"a^(bc)+(){F1}{TAB}\"\n"));

    // Off, keys type again and F1 is help; on and off at once gives "".
    type(*form, QString("x"));
    action(*form, "mnuMacroRecord")->trigger();
    action(*form, "mnuMacroRecord")->trigger();
    EXPECT_EQ(textOf(*form), QString("Send \"a^(bc)+(){F1}{TAB}\"\nxSend \"\"\n"));

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
    form->Unload();
    EXPECT_EQ(form->findDialog(), nullptr);
}

// The templates alone, those made from their arguments and Send, which stops
// behind its opening quote: remarks between two banners, then the statements.
TEST(Templates, AreRemarksBetweenBannersThenTheseStatements) {
    const QString banner = "Rem " + QString(73, u'=') + " \r\n";
    const struct {
        const char* name;
        QString text;
        const char* statements;
    } templates[] = {
        {"Send", SendTemplate(), "Send \""},
        {"Wait", WaitTemplate(12), "Wait 12\r\n\r\n"},
        {"Run", RunTemplate("/usr/bin/xterm", 5),
         "xtermID = Run \"/usr/bin/xterm\"\r\nWait 5\r\nSetFocus xtermID\r\n\r\n"},
        {"RunExecute", RunExecuteTemplate("/home/ann/a b.txt", 7),
         "RunExecute \"open\", \"/home/ann/a b.txt\" , , ,1\r\nWait 7\r\n\r\n"},
    };
    for (const auto& t : templates) {
        SCOPED_TRACE(t.name);
        ASSERT_TRUE(t.text.startsWith(banner));
        const qsizetype end = t.text.lastIndexOf(banner);
        ASSERT_GT(end, banner.size());
        EXPECT_EQ(t.text.mid(end + banner.size()), t.statements);
        const QString remarks = t.text.mid(banner.size(), end - banner.size());
        EXPECT_EQ(remarks.count(u'\n'), remarks.count("\r\n"));
        for (const QString& line : remarks.split("\r\n", Qt::SkipEmptyParts))
            EXPECT_TRUE(line.startsWith("Rem ")) << line.toStdString();
    }
    EXPECT_EQ(RemarkTemplate(), "Rem ");
}

TEST(Templates, RunVariableIsTheLowerCaseNameCutAtItsFirstPeriod) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin/xterm", "xtermID"},
        {"/opt/X/MY.APP.EXE", "myID"},
        {"/tools/FOO", "fooID"},
        {"/a.b/Prog", "progID"},
        {"/srv/c:d/Ünïcode.sh", "ünïcodeID"},
        {"/home/ann/.hidden", "ID"},
    };
    for (const auto& [path, variable] : cases)
        EXPECT_EQ(runVariableName(QString::fromUtf8(path)), QString::fromUtf8(variable)) << path;
}

// The answer counts as its leading number (blanks dropped), stored as read and
// rounded half to even; no answer, or one that does not fit, keeps the wait.
TEST(Templates, RunWaitAnswerIsReadAsItsLeadingNumberStoredAndRoundedHalvesToEven) {
    const struct {
        const char* answer;
        std::int16_t wait;
        const char* stored;  // null: nothing stored
    } cases[] = {
        {"12", 12, "12"},  {" 7 ", 7, "7"},     {"1 2", 12, "12"}, {"2.5", 2, "2.5"},
        {"3.5", 4, "3.5"}, {"-3", -3, "-3"},    {"abc", 0, "0"},   {"4x", 4, "4"},
        {".5", 0, "0.5"},  {"1e2", 100, "100"}, {"1e", 1, "1"},    {"+", 0, "0"},
        {"-.", 0, "0"},    {"3.7.1", 4, "3.7"}, {"", 9, nullptr},  {"99999", 9, nullptr},
    };
    const QString app = appTitle(), section = QString::fromLatin1(kSectionSettings),
                  key = QString::fromLatin1(kKeyEditorDefaultRunWait);
    for (const auto& c : cases) {
        SaveSetting(app, section, key, QStringLiteral("9"));
        EXPECT_EQ(applyRunWaitAnswer(QString::fromLatin1(c.answer), 9), c.wait) << c.answer;
        EXPECT_EQ(GetSetting(app, section, key), QString::fromLatin1(c.stored ? c.stored : "9"))
            << c.answer;
        EXPECT_EQ(readRunWait(), c.wait) << c.answer;
    }
}

}  // namespace
}  // namespace tarn::editor::test
