// SPDX-License-Identifier: GPL-3.0-or-later
// Automatic mode end to end in-process (the program's run over the fakes and
// its exit status), the command line and its documentation, the tray menu and
// the Qt host's idle.
#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMenu>
#include <QRegularExpression>
#include <QTimer>
#include <chrono>
#include <thread>

#include "CommandLine.h"
#include "Program.h"
#include "QtHost.h"
#include "TraceFile.h"

#include "GuiTest.h"

namespace tarn::guitest {
namespace {

using namespace std::chrono_literals;

struct AutomaticCase {
    const char* name;
    std::string macro;
    std::vector<bool> answers;
    int exitStatus;
    std::size_t questions;
};

class AutomaticTest : public PlayerTest, public ::testing::WithParamInterface<AutomaticCase> {};

TEST_P(AutomaticTest, RunsHiddenAndEndsWithStatus) {
    const AutomaticCase& c = GetParam();
    mQuestions.answers = c.answers;
    const QString file = macro(c.macro);
    const QString defaultTrace = tarn::traceFilePath();
    const bool traceExisted = QFileInfo::exists(defaultTrace);
    const int status =
        runPlayer(mFake.platform(), "\"" + file.toStdString() + "\"", mQuestions.hook());
    EXPECT_EQ(status, c.exitStatus);
    EXPECT_EQ(mQuestions.asked.size(), c.questions);
    for (const auto& asked : mQuestions.asked)
        EXPECT_FALSE(asked.hadOwner);  // the window is never shown
    EXPECT_EQ(QFileInfo::exists(defaultTrace), traceExisted);
    EXPECT_EQ(storedLastFile(), file);
}

INSTANTIATE_TEST_SUITE_P(
    Macros, AutomaticTest,
    ::testing::Values(AutomaticCase{"RanToItsEnd", "Rem a\r\nWait 1\r\n", {}, 0, 0},
                      AutomaticCase{"FailureAnsweredNo", "Wait abc\r\n", {false}, 1, 1},
                      AutomaticCase{"RetriedThenNo", "Wait abc\r\n", {true, false}, 1, 2},
                      AutomaticCase{"SessionEnded", "ShutDownWindows\r\nWait abc\r\n", {}, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A batch run leaves the user's settings alone; a run that stores the last
// file stores it whole, so that it names the same file wherever Tarn starts.
TEST_F(PlayerTest, BatchRunsStoreNoSettingsAndTheLastFileIsAbsolute) {
    const QFileInfo file(macro("Rem a\r\n"));
    const QString started = QDir::currentPath();
    QDir::setCurrent(file.absolutePath());
    for (const bool batch : {true, false}) {
        SaveSetting(executableAppName(), kSectionRecentFileList, kKeyLastFile, "/earlier.mcr");
        UnattendedOptions options;
        options.batch = batch;
        options.report = [](const std::string&) {};
        EXPECT_EQ(runPlayer(mFake.platform(), file.fileName().toStdString(), options), 0);
        EXPECT_EQ(storedLastFile(),
                  batch ? QString("/earlier.mcr")
                        : QDir::cleanPath(QDir::currentPath() + "/" + file.fileName()))
            << batch;
    }
    QDir::setCurrent(started);
}

// A command line of only a pair of quotes runs the last file (the outer quotes
// of a path come off in the automatic runs above, the rest is StripQuotes').
TEST_F(PlayerTest, CommandLineOfOnlyAPairOfQuotesRunsTheLastFile) {
    SaveSetting(executableAppName(), kSectionRecentFileList, kKeyLastFile, "/last.mcr");
    mQuestions.answers = {false};
    auto form = makeForm("\"\"");
    form->Form_Load();
    EXPECT_FALSE(form->interactive());
    EXPECT_EQ(fileBox(*form)->text(), "/last.mcr");
}

// Automatic mode runs hidden, captioned "Tarn". The tray menu: a click on the
// icon is answered by the 100 ms timer with the "System Menu"; its "&Close"
// stops the run, and automatic mode then ends, storing the hidden window's
// position, the centred one it was created with, like any other.
TEST_F(PlayerTest, AutomaticModeIsHiddenAndTrayCloseStopsItsRunDuringWait) {
    QtHost host;
    Platform platform{mFake.windows,   mFake.keyboard, mFake.processes,
                      mFake.documents, mFake.session,  host};
    frmTarn form(platform, macro("Rem 1\r\nWait 30\r\nRem 3\r\n").toStdString());
    form.setQuestionHook(mQuestions.hook());
    bool menuShown = false;
    QTimer::singleShot(100, &form, [&] { form.sysTray_MouseDown(2, 0); });
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &form, [&] {
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.windowTitle(), "Tarn");
        EXPECT_FALSE(form.interactive());
        EXPECT_TRUE(form.running());
        QMenu* menu = form.trayMenu();
        if (!menu->isVisible()) return;
        menuShown = true;
        EXPECT_EQ(menu->title(), "System Menu");
        QAction* close = menu->findChild<QAction*>("mnuSysTrayPopupClose");
        ASSERT_NE(close, nullptr);
        EXPECT_EQ(close->text(), "&Close");
        menu->hide();
        close->trigger();
        poll.stop();
    });
    poll.start();
    QElapsedTimer clock;
    clock.start();
    form.Form_Load();
    EXPECT_TRUE(menuShown);
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_TRUE(form.unloaded());
    EXPECT_EQ(form.lastCommand(), "Wait 30");
    EXPECT_EQ(form.exitCode(), 130);
    const QPoint place = centred(form);
    EXPECT_EQ(stored(kKeyLeft), twipsText(form, place.x(), Qt::Horizontal));
    EXPECT_EQ(stored(kKeyTop), twipsText(form, place.y(), Qt::Vertical));
}

TEST_F(PlayerTest, TrayClickWithoutTimerTickShowsNothingYet) {
    auto form = interactiveOn(QString());
    form->sysTray_MouseDown(1, 0);
    EXPECT_FALSE(form->trayMenu()->isVisible());
    form->timer_Timer();
    EXPECT_TRUE(form->trayMenu()->isVisible());
    form->trayMenu()->hide();
    // Once shown, the click is used up.
    form->timer_Timer();
    EXPECT_FALSE(form->trayMenu()->isVisible());
}

TEST(QtHostTest, YieldHandlesPendingEventsAndIdleWakesForOnePostedFromAnotherThread) {
    QtHost host;
    QObject receiver;
    bool delivered = false;
    QMetaObject::invokeMethod(
        &receiver, [&] { delivered = true; }, Qt::QueuedConnection);
    host.yield();
    EXPECT_TRUE(delivered);
    delivered = false;
    std::thread poster([&] {
        std::this_thread::sleep_for(50ms);
        QMetaObject::invokeMethod(
            &receiver, [&] { delivered = true; }, Qt::QueuedConnection);
    });
    QElapsedTimer clock;
    clock.start();
    for (int pass = 0; pass < 100 && !delivered; ++pass)
        host.idle(30s);
    poster.join();
    EXPECT_TRUE(delivered);
    // One idle slept until the event came instead of its full 30 s.
    EXPECT_LT(clock.elapsed(), 20000);
}

// What `tarn --help` lists is what the manual page and the help pages explain:
// an option added to the program without its documentation fails here.
TEST(Documentation, EveryOptionOfTheUsageIsInTheManualAndTheHelp) {
    // roff writes a minus sign as "\-".
    const QString manual =
        QString::fromStdString(readBytes(TARN_SOURCE_DIR "/share/man/tarn.1")).replace("\\-", "-");
    const QString help = QString::fromStdString(readBytes(":/help/automatic.html"));
    const QRegularExpression option(QStringLiteral("^\\s+(-\\w|--\\w+)(, (--\\w+))?"),
                                    QRegularExpression::MultilineOption);
    int options = 0;
    for (const auto& match : option.globalMatch(QString::fromUtf8(usageText()))) {
        for (int group : {1, 3}) {
            const QString name = match.captured(group);
            if (name.isEmpty()) continue;
            ++options;
            const QRegularExpression whole("(^|[^-\\w])" + QRegularExpression::escape(name) +
                                           "\\b");
            EXPECT_TRUE(manual.contains(whole)) << name.toStdString() << " in tarn.1";
            EXPECT_TRUE(help.contains(whole)) << name.toStdString() << " in automatic.html";
        }
    }
    EXPECT_GE(options, 3);  // -h, --help, --version
}

}  // namespace
}  // namespace tarn::guitest
