// SPDX-License-Identifier: GPL-3.0-or-later
// The fixture itself: what every X test relies on must hold before they run.
#include <gtest/gtest.h>
#include <signal.h>

#include "TargetProgram.h"
#include "XSession.h"

namespace tarn::testing {
namespace {

class XSessionTest : public ::testing::TestWithParam<WindowManager> {};

TEST_P(XSessionTest, StartsAServerTheTargetAndXtermAndEndsThemByPid) {
    pid_t targetPid = -1, xtermPid = -1, serverCheckPid = -1;
    {
        XSession session(GetParam());
        ASSERT_EQ(session.display()[0], ':');
        EXPECT_EQ(session.windowManagerPid() > 0, GetParam() == WindowManager::Openbox);

        RunResult info = session.run({"xprop", "-root", "-display", session.display()});
        EXPECT_EQ(info.exitStatus, 0);

        TargetProgram target(session);
        targetPid = target.pid();
        std::uint32_t id = target.window("main", "Grüße 100% : tarn");
        EXPECT_NE(id, 0u);
        EXPECT_EQ(target.windowId("main"), id);
        EXPECT_EQ(target.text("main"), "");
        EXPECT_THROW(target.command("hide nosuch"), std::runtime_error);

        xtermPid = startXterm(session, "fixture xterm");
        EXPECT_TRUE(session.running(xtermPid));
        EXPECT_TRUE(session.kill(xtermPid));
        EXPECT_FALSE(session.running(xtermPid));
        EXPECT_FALSE(session.kill(xtermPid));
        serverCheckPid = session.spawn({"sleep", "600"});
    }
    // Everything the session started is gone once it is.
    for (pid_t pid : {targetPid, xtermPid, serverCheckPid})
        EXPECT_NE(::kill(pid, 0), 0) << pid;
}

TEST(WaitUntilTest, IsBoundedAndReportsTheOutcome) {
    int calls = 0;
    EXPECT_TRUE(waitUntil([&] { return ++calls == 3; }, std::chrono::seconds(5)));
    EXPECT_FALSE(waitUntil([] { return false; }, std::chrono::milliseconds(30)));
}

TEST(TargetProgramTest, DecodesPercentEscapes) {
    EXPECT_EQ(TargetProgram::decode("a%20b%25c%3A"), "a b%c:");
    EXPECT_EQ(TargetProgram::decode("%C3%A9"), "\xC3\xA9");
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, XSessionTest,
                         ::testing::Values(WindowManager::None, WindowManager::Openbox),
                         [](const auto& info) { return std::string(name(info.param)); });

}  // namespace
}  // namespace tarn::testing
