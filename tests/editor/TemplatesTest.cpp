// SPDX-License-Identifier: GPL-3.0-or-later
// The Wizard templates' statements and line ends, the Run variable name and
// the run wait answer.
#include <gtest/gtest.h>

#include <QStringList>

#include "ProgramInfo.h"
#include "Settings.h"
#include "modTemplates.h"

namespace tarn::editor {
namespace {

// Every template but Remark is remarks between two banners, then its
// statements; Send stops behind its opening quote.
TEST(Templates, AreRemarksBetweenBannersThenTheseStatements) {
    const QString banner = "Rem " + QString(73, u'=') + " \r\n";
    const struct {
        const char* name;
        QString text;
        const char* statements;
    } templates[] = {
        {"CloseWindow", CloseWindowTemplate(), "CloseWindow winID\r\n\r\n"},
        {"GetProcessID", GetProcessIDTemplate(), "procID = GetProcessID winID\r\n\r\n"},
        {"GetWindowID", GetWindowIDTemplate(),
         "winID = GetWindowID \"Put Window Title Here\", 0, False, True\r\n\r\n"},
        {"KillProcess", KillProcessTemplate(), "KillProcess procID\r\n\r\n"},
        {"Send", SendTemplate(), "Send \""},
        {"SetFocus", SetFocusTemplate(),
         "SetFocus \"Put Window Title or ProcessID Here\", 0, False, True\r\n\r\n"},
        {"ShutDownWindows", ShutDownWindowsTemplate(), "ShutdownWindows 1, False\r\n\r\n"},
        {"TimeOut", TimeOutTemplate(), "TimeOut 30\r\n\r\n"},
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
