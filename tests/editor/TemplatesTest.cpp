// SPDX-License-Identifier: GPL-3.0-or-later
// The Wizard templates byte for byte, the Run variable name and the run wait
// answer.
#include <gtest/gtest.h>

#include <QByteArray>

#include "ProgramInfo.h"
#include "Settings.h"
#include "modTemplates.h"

namespace tarn::editor {
namespace {

#define B "Rem ========================================================================= \r\n"

struct Template {
    const char* name;
    QString text;
    const char* expected;
};

TEST(Templates, AreExactlyTheseBytes) {
    ASSERT_EQ(bannerLine().size(), 78);
    const Template templates[] = {
        {"CloseWindow", CloseWindowTemplate(),
         B "Rem Closes the window referred to by the uservar windowID\r\n"
           "Rem Syntax: CloseWindow windowID\r\n" B "CloseWindow winID\r\n\r\n"},
        {"GetProcessID", GetProcessIDTemplate(),
         B "Rem Gets the Process ID related to windowID and assigns to uservar\r\n"
           "Rem Syntax: uservar = GetProcessID windowID\r\n" B
           "procID = GetProcessID winID\r\n\r\n"},
        {"GetWindowID", GetWindowIDTemplate(),
         B
         "Rem Assigns an WindowID to uservar if a window is found matching windowTitle \r\n"
         "Rem Syntax: uservar = GetWindowID windowTitle [,method][,caseSensitive][,visibleOnly]\r\n"
         "Rem    WindowTitle: Window Title to refer to\r\n"
         "Rem    Method: 0=Starts with, 1=Contains, 2=Matches, 3=Ends with\r\n"
         "Rem    CaseSensitive: True or False\r\n"
         "Rem    VisibleOnly: True or False\r\n" B
         "winID = GetWindowID \"Put Window Title Here\", 0, False, True\r\n\r\n"},
        {"KillProcess", KillProcessTemplate(),
         B "Rem Terminate the program referred to by the processID\r\n"
           "Rem Syntax: KillProcess processID\r\n" B "KillProcess procID\r\n\r\n"},
        {"Send", SendTemplate(),
         B "Rem Send keystrokes to the currently active window\r\n"
           "Rem Syntax: Send key(s)\r\n" B "Send \""},
        {"SetFocus", SetFocusTemplate(),
         B "Rem Sets the current window that will receive keystrokes\r\n"
           "Rem Syntax: SetFocus app[,method][,caseSensitive][,visibleOnly]\r\n"
           "Rem    App: Title or ProcessID \r\n"
           "Rem    Method: 0=Starts with, 1=Contains, 2=Matches, 3=Ends with\r\n"
           "Rem    CaseSensitive: True or False\r\n"
           "Rem    VisibleOnly: True or False\r\n" B
           "SetFocus \"Put Window Title or ProcessID Here\", 0, False, True\r\n\r\n"},
        {"ShutDownWindows", ShutDownWindowsTemplate(),
         B "Rem Logoff, restart, shutdown or power off windows\r\n"
           "Rem Syntax: ShutDownWindows [options][,force]\r\n"
           "Rem    Options: 1=Log off, 2=Reboot, 3=Shutdown, 4=Power off\r\n"
           "Rem    Force: True or False\r\n" B "ShutdownWindows 1, False\r\n\r\n"},
        {"TimeOut", TimeOutTemplate(),
         B "Rem Number of seconds to retry before considering a SetFocus or GetWindowID\r\n"
           "Rem command as failed (default=30)\r\n"
           "Rem Syntax: TimeOut seconds\r\n" B "TimeOut 30\r\n\r\n"},
        {"Wait", WaitTemplate(12),
         B "Rem Wait the specified number of seconds\r\n"
           "Rem Syntax: Wait seconds\r\n" B "Wait 12\r\n\r\n"},
        {"Remark", RemarkTemplate(), "Rem "},
        {"Run", RunTemplate(QStringLiteral("/usr/bin/xterm"), 5),
         B "Rem Run *.EXE, COM, or *.BAT file and optionally return a ProcessID for the\r\n"
           "Rem running program\r\n"
           "Rem Syntax: uservar = Run programName\r\n"
           "Rem \r\n"
           "Rem Run program, give time to load & set focus to program\r\n" B
           "xtermID = Run \"/usr/bin/xterm\"\r\n"
           "Wait 5\r\n"
           "SetFocus xtermID\r\n\r\n"},
        {"RunExecute", RunExecuteTemplate(QStringLiteral("/home/ann/a b.txt"), 7),
         B "Rem Open / Print Program associated with selected file\r\n"
           "Rem Syntax: RunExecute [operation],fileName[,parameters][,startDir][,showCmd]\r\n"
           "Rem     Operation: \"Open\" or \"Print\"\r\n"
           "Rem     ShowCmd: 0=Hidden w/o focus, 1=Restore w/ focus, 2=Min w/ focus, 3=Max w/ "
           "focus, \r\n"
           "Rem     4=Restore w/o focus, 5=Restore w/ focus, 6/Min w/o focus.\r\n"
           "Rem \r\n"
           "Rem Run program, give time to load & set focus to program\r\n" B
           "RunExecute \"open\", \"/home/ann/a b.txt\" , , ,1\r\n"
           "Wait 7\r\n\r\n"},
    };
    for (const Template& t : templates)
        EXPECT_EQ(t.text.toUtf8(), QByteArray(t.expected)) << t.name;
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

TEST(Templates, RunWaitAnswerIsReadAsItsLeadingNumber) {
    const std::pair<const char*, double> cases[] = {
        {"12", 12},  {" 7 ", 7},   {"1 2", 12}, {"2.5", 2.5}, {"-3", -3}, {"abc", 0},     {"4x", 4},
        {".5", 0.5}, {"1e2", 100}, {"1e", 1},   {"+", 0},     {"-.", 0},  {"3.7.1", 3.7},
    };
    for (const auto& [answer, value] : cases)
        EXPECT_DOUBLE_EQ(numericValue(QString::fromLatin1(answer)), value) << answer;
}

TEST(Templates, RunWaitAnswerIsStoredAndRoundedHalvesToEven) {
    struct Case {
        const char* answer;
        std::int16_t wait;
        const char* stored;  // null: nothing stored
    };
    const Case cases[] = {
        {"12", 12, "12"}, {"2.5", 2, "2.5"}, {"3.5", 4, "3.5"},
        {"abc", 0, "0"},  {"", 9, nullptr},  {"99999", 9, nullptr},
    };
    const QString app = appTitle(), section = QString::fromLatin1(kSectionSettings),
                  key = QString::fromLatin1(kKeyEditorDefaultRunWait);
    for (const Case& c : cases) {
        SaveSetting(app, section, key, QStringLiteral("9"));
        EXPECT_EQ(applyRunWaitAnswer(QString::fromLatin1(c.answer), 9), c.wait) << c.answer;
        EXPECT_EQ(GetSetting(app, section, key), QString::fromLatin1(c.stored ? c.stored : "9"))
            << c.answer;
        EXPECT_EQ(readRunWait(), c.wait) << c.answer;
    }
}

}  // namespace
}  // namespace tarn::editor
