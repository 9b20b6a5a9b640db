// SPDX-License-Identifier: GPL-3.0-or-later
// The emergency stop key and batch mode in the player, over the fake stop
// key: the key is watched only while a run is under way, its press ends a
// Wait as Stop does, and batch mode reports it with status 130.
#include "GuiTest.h"

namespace tarn::guitest {
namespace {

using namespace std::chrono_literals;

struct StopCase {
    const char* name;
    bool automatic;
    bool batch;
    int exitCode;
    std::vector<std::string> reported;
};

class StopKeyTest : public PlayerTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopKeyTest, PressDuringAWaitEndsTheRun) {
    const StopCase& c = GetParam();
    fake::FakeStopKey stopKey;
    const QString file = macro("Rem one\r\nWait 60\r\nRem never\r\n");
    auto form = c.automatic ? makeForm("\"" + file.toStdString() + "\"") : interactiveOn(file);
    std::vector<std::string> reported;
    form->setBatch(c.batch, [&](const std::string& line) { reported.push_back(line); });
    form->setStopKey(&stopKey);
    bool armedDuringRun = false;
    const auto start = mFake.host.time;
    mFake.host.onYield = [&] {
        armedDuringRun = armedDuringRun || stopKey.armed;
        if (mFake.host.time - start > 1s) stopKey.press();
    };
    if (c.automatic) {
        form->Form_Load();
    } else {
        button(*form, "cmdGo")->click();
        EXPECT_EQ(trace(), "Rem one\r\nWait 60\r\n");
    }
    EXPECT_LT(mFake.host.time - start, 2s);
    EXPECT_TRUE(armedDuringRun);
    EXPECT_FALSE(stopKey.armed);
    EXPECT_FALSE(form->running());
    EXPECT_TRUE(form->stoppedByStopKey());
    EXPECT_EQ(form->exitCode(), c.exitCode);
    for (std::string& line : reported)
        line.erase(0, file.toStdString().size());
    EXPECT_EQ(reported, c.reported);
    EXPECT_TRUE(mQuestions.asked.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, StopKeyTest,
    ::testing::Values(StopCase{"Interactive", false, false, 0, {}},
                      StopCase{"Automatic", true, false, 0, {}},
                      StopCase{"Batch", true, true, 130, {":2: Stopped by the Pause key"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The record a batch job asked for cannot be made: the run goes on without it,
// the line says why, and the status says that something failed.
TEST_F(PlayerTest, BatchTraceThatCannotBeCreated) {
    auto form = makeForm("\"" + macro("Rem one\r\n").toStdString() + "\"");
    std::vector<std::string> reported;
    form->setBatch(true, [&](const std::string& line) { reported.push_back(line); });
    const std::string trace = path("no-such-folder/trace.txt").toStdString();
    form->setAutomaticTrace(QString::fromStdString(trace));
    form->Form_Load();
    EXPECT_EQ(reported, std::vector<std::string>{trace + ": error: Path not found (Tarn) [76]"});
    EXPECT_EQ(form->lastCommand(), "Rem one");
    EXPECT_EQ(form->exitCode(), 1);
    EXPECT_TRUE(mQuestions.asked.empty());
}

}  // namespace
}  // namespace tarn::guitest
