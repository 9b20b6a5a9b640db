// SPDX-License-Identifier: GPL-3.0-or-later
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <chrono>

#include "../common/ModalWatch.h"
#include "GuiTest.h"

namespace tarn::guitest {
namespace {

using namespace std::chrono_literals;

struct TraceCase {
    const char* name;
    std::string macro;
    std::vector<bool> answers;  // to the "Retry ?" questions, in order
    std::string trace;
    std::size_t questions;
};

class TraceTest : public PlayerTest, public ::testing::WithParamInterface<TraceCase> {};

TEST_P(TraceTest, RunLeavesExactTrace) {
    const TraceCase& c = GetParam();
    mQuestions.answers = c.answers;
    auto form = interactiveOn(macro(c.macro));
    button(*form, "cmdGo")->click();
    EXPECT_EQ(trace(), c.trace);
    EXPECT_EQ(mQuestions.asked.size(), c.questions);
    EXPECT_FALSE(form->traceOpen());
    EXPECT_FALSE(form->running());
    EXPECT_EQ(form->size(), form->designedSize(false));
}

const std::string kOverflow = "Rem one\r\nWait 99999\r\nError 6 - Overflow\r\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Macros, TraceTest, ::testing::Values(
    TraceCase{"BlankLinesAndIndentKept", "Rem a\r\n\r\n\t  Rem b\r\nx = 1\r\n", {}, "Rem a\r\n\r\n\t  Rem b\r\nx = 1\r\n", 0},
    TraceCase{"EmptyFile", "", {}, "", 0},
    TraceCase{"FailureRecordAnsweredNo", "Rem one\r\nWait abc\r\nRem never\r\n", {false}, "Rem one\r\nWait abc\r\nError 13 - Type mismatch\r\n", 1},
    TraceCase{"InvalidCommand", "Bogus command\r\n", {false}, "Bogus command\r\nError 1001 - Invalid macro command\r\n", 1},
    TraceCase{"RetryYesRunsFromLineOneEachTime", "Rem one\r\nWait 99999\r\n", {true, true, false}, kOverflow + kOverflow + kOverflow, 3},
    TraceCase{"UnbalancedQuote", "SetFocus \"a,b\r\n", {false}, "SetFocus \"a,b\r\nError 5 -  - Missing quote in statement\r\n", 1}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Answered No, the run ends failed; answered Yes after the user mended the
// macro while the question was up, the retried run follows the failure record.
TEST_F(PlayerTest, QuestionNamesFailureSourceAndLastLineAndYesRunsTheMendedMacro) {
    const QString file = macro("Rem first\r\nWait abc\r\nRem never\r\n");
    mQuestions.answers = {false, true};
    mQuestions.before = [&](std::size_t index) {
        if (index == 1) writeBytes(file, "Rem fixed\r\nRem end\r\n");
    };
    auto form = interactiveOn(file);
    button(*form, "cmdGo")->click();
    ASSERT_EQ(mQuestions.asked.size(), 1u);
    EXPECT_EQ(mQuestions.asked[0].title, "Tarn Macro Message");
    EXPECT_EQ(mQuestions.asked[0].text,
              "Error 13 - Type mismatch - Occured in Tarn.Process.RunMacro\r\n\r\n"
              " Last Macro Command: Wait abc\r\n\r\nRetry ?");
    EXPECT_EQ(activity(*form), "Wait abc");
    EXPECT_EQ(form->lastCommand(), "Wait abc");
    EXPECT_EQ(form->exitCode(), 1);
    EXPECT_EQ(form->failedLine(), 2);

    button(*form, "cmdGo")->click();
    const std::string failed = "Rem first\r\nWait abc\r\nError 13 - Type mismatch\r\n";
    EXPECT_EQ(trace(), failed + "Rem fixed\r\nRem end\r\n");
    EXPECT_EQ(mQuestions.asked.size(), 2u);
    EXPECT_EQ(form->exitCode(), 0);
    EXPECT_EQ(form->failedLine(), 0);
}

TEST_F(PlayerTest, MissingFileOrEmptyBoxAsksRetryWithTheOpenFailure) {
    const QRegularExpression expected(QRegularExpression::anchoredPattern(
        "Error 53 - File not found - Occured in .*\\.OpenFile\\.RunMacro\r\n\r\n"
        " Last Macro Command: \r\n\r\nRetry \\?"));
    for (const QString& file : {path("missing.mcr"), QString()}) {
        SCOPED_TRACE(file.toStdString());
        mQuestions = ScriptedQuestions{{true, false}, {}, {}};
        auto form = interactiveOn(file);
        button(*form, "cmdGo")->click();
        ASSERT_EQ(mQuestions.asked.size(), 2u);  // Yes tried the file again
        for (const auto& asked : mQuestions.asked) {
            EXPECT_TRUE(expected.match(asked.text).hasMatch()) << asked.text.toStdString();
            EXPECT_TRUE(asked.hadOwner);
        }
        EXPECT_EQ(trace(), "Error 53 - File not found\r\nError 53 - File not found\r\n");
        EXPECT_EQ(form->exitCode(), 1);
    }
}

// A trace that cannot be made: asked about, or in batch mode reported, and the
// run goes on without it.
TEST_F(PlayerTest, TraceCreationFailureIsToldAndRunGoesOnWithoutTrace) {
    mQuestions.answers = {false};
    auto form = makeForm();
    form->setTraceFilePath(path("no such folder/TarnTrace.txt"));
    form->Form_Load();
    fileBox(*form)->setText(macro("Rem a\r\nRem b\r\n"));
    button(*form, "cmdGo")->click();
    ASSERT_EQ(mQuestions.asked.size(), 1u);
    EXPECT_TRUE(mQuestions.asked[0].text.startsWith("Error 76 - Path not found - Occured in "))
        << mQuestions.asked[0].text.toStdString();
    EXPECT_EQ(activity(*form), "Rem b");
    EXPECT_EQ(form->exitCode(), 0);
    EXPECT_FALSE(form->traceOpen());

    // The record a batch job asked for: the line says why, and the status says
    // that something failed.
    auto batch = makeForm("\"" + macro("Rem one\r\n").toStdString() + "\"");
    std::vector<std::string> reported;
    batch->setBatch(true, [&](const std::string& line) { reported.push_back(line); });
    const std::string trace = path("no-such-folder/trace.txt").toStdString();
    batch->setAutomaticTrace(QString::fromStdString(trace));
    batch->Form_Load();
    EXPECT_EQ(reported, std::vector<std::string>{trace + ": error: Path not found [76]"});
    EXPECT_EQ(batch->lastCommand(), "Rem one");
    EXPECT_EQ(batch->exitCode(), 1);
    EXPECT_EQ(mQuestions.asked.size(), 1u);
}

TEST_F(PlayerTest, WindowGrowsByActivityRowOnlyDuringTracedRun) {
    auto form = interactiveOn(macro("Rem a\r\nRem b\r\n"));
    std::vector<QSize> sizes;
    mFake.host.onYield = [&] { sizes.push_back(form->size()); };
    button(*form, "cmdGo")->click();
    ASSERT_FALSE(sizes.empty());
    for (const QSize& size : sizes)
        EXPECT_EQ(size, form->designedSize(true));
    EXPECT_EQ(form->size(), form->designedSize(false));
    EXPECT_EQ(activity(*form), "Rem b");
}

// Closed in a Wait, or in the line report of a statement that then fails: the
// run stops, the file is stored, and nothing is asked of a closed player.
TEST_F(PlayerTest, ClosingDuringRunStopsItStoresTheFileAndAsksNothing) {
    for (const std::string line : {"Wait 5", "Wait abc"}) {
        SCOPED_TRACE(line);
        mQuestions.answers = {true};
        const QString file = macro("Rem 1\r\n" + line + "\r\nRem 3\r\n", line.c_str());
        auto form = interactiveOn(file);
        mFake.host.onYield = [&] {
            if (form->lastCommand() == line && !form->unloaded()) form->close();
        };
        button(*form, "cmdGo")->click();
        mFake.host.onYield = nullptr;
        EXPECT_TRUE(form->unloaded());
        EXPECT_FALSE(form->running());
        EXPECT_TRUE(mQuestions.asked.empty());
        EXPECT_EQ(trace(), "Rem 1\r\n" + line + "\r\n");
        EXPECT_EQ(storedLastFile(), file);
    }
}

TEST_F(PlayerTest, StartDuringRunIsIgnoredAndTheNextBeginsANewTrace) {
    auto form = interactiveOn(macro("Rem 1\r\nWait 1\r\nRem 3\r\n"));
    int presses = 0;
    mFake.host.onYield = [&] {
        if (presses < 3) {
            ++presses;
            button(*form, "cmdGo")->click();
        }
    };
    button(*form, "cmdGo")->click();
    EXPECT_EQ(presses, 3);
    EXPECT_EQ(trace(), "Rem 1\r\nWait 1\r\nRem 3\r\n");
    fileBox(*form)->setText(macro("Rem second run\r\n", "second.mcr"));
    button(*form, "cmdGo")->click();
    EXPECT_EQ(trace(), "Rem second run\r\n");
}

// The real "Retry ?" box of the player (not the tests' question hook): a long
// macro line is wrapped inside it, on the screen, and keeps its characters.
TEST_F(PlayerTest, LongMacroLineIsWrappedInsideTheRetryBox) {
    const std::string line = "Send " + std::string(300, 'x') + "{BOGUS}";
    frmTarn form(mFake.platform(), std::nullopt);  // with its own message box
    form.setTraceFilePath(tracePath());
    form.Form_Load();
    fileBox(form)->setText(macro(line + "\r\n"));

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QString shown;
    ModalWatch watch([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "Tarn Macro Message");
        EXPECT_TRUE(screen.contains(box->frameGeometry()));
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        // Laid out as the label draws it, the text needs no more than the label's width.
        const QRect needed =
            QFontMetrics(label->font())
                .boundingRect(QRect(0, 0, label->width(), 100000), Qt::TextWordWrap, label->text());
        EXPECT_LE(needed.width(), label->width());
        EXPECT_LE(needed.height(), label->height());
        shown = label->text().remove(QChar(0x200B));
        box->button(QMessageBox::No)->click();
    });
    button(form, "cmdGo")->click();
    EXPECT_TRUE(watch.seen());
    EXPECT_TRUE(shown.contains(QString::fromStdString(" Last Macro Command: " + line + "\n")));
    // The question hook, and with it the trace, get the line exactly.
    EXPECT_EQ(form.lastCommand(), line);
}

// Stop, and the emergency stop key (the fake one: watched only while a run is
// under way), pressed one second into a minute's Wait: the run ends before its
// next line; Stop closes the trace and gives the activity row back at once;
// a stopped automatic run ends with status 130, and batch mode says why.
struct StopCase {
    const char* name;
    bool button;  // Stop pressed, not the key
    bool automatic;
    bool batch;
    int exitCode;
    std::vector<std::string> reported;
};

class StopTest : public PlayerTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopTest, PressDuringAWaitEndsTheRun) {
    const StopCase& c = GetParam();
    fake::FakeStopKey stopKey;
    const QString file = macro("Rem one\r\nWait 60\r\nRem never\r\n");
    auto form = c.automatic ? makeForm("\"" + file.toStdString() + "\"") : interactiveOn(file);
    std::vector<std::string> reported;
    form->setBatch(c.batch, [&](const std::string& line) { reported.push_back(line); });
    form->setStopKey(&stopKey);
    bool armedDuringRun = false, pressed = false;
    const auto start = mFake.host.time;
    mFake.host.onYield = [&] {
        armedDuringRun = armedDuringRun || stopKey.armed;
        if (pressed || mFake.host.time - start < 1s) return;
        pressed = true;
        if (!c.button) return stopKey.press();
        button(*form, "cmdStop")->click();
        EXPECT_FALSE(form->traceOpen());
        EXPECT_EQ(form->size(), form->designedSize(false));
    };
    if (c.automatic) {
        form->Form_Load();
    } else {
        button(*form, "cmdGo")->click();
        EXPECT_EQ(trace(), "Rem one\r\nWait 60\r\n");
        EXPECT_EQ(activity(*form), "Wait 60");
    }
    EXPECT_TRUE(pressed);
    EXPECT_LT(mFake.host.time - start, 2s);
    EXPECT_TRUE(armedDuringRun);
    EXPECT_FALSE(stopKey.armed);
    EXPECT_FALSE(form->running());
    EXPECT_EQ(form->stoppedByStopKey(), !c.button);
    EXPECT_EQ(form->exitCode(), c.exitCode);
    for (std::string& line : reported)
        line.erase(0, file.toStdString().size());
    EXPECT_EQ(reported, c.reported);
    EXPECT_TRUE(mQuestions.asked.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, StopTest,
    ::testing::Values(StopCase{"StopButton", true, false, false, 0, {}},
                      StopCase{"Interactive", false, false, false, 0, {}},
                      StopCase{"Automatic", false, true, false, 130, {}},
                      StopCase{"Batch", false, true, true, 130, {":2: Stopped by the Pause key"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarn::guitest
