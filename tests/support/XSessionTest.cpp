// SPDX-License-Identifier: GPL-3.0-or-later
// The fixture itself: what every X test relies on must hold before they run.
#include <gtest/gtest.h>
#include <signal.h>

#include "TargetProgram.h"
#include "XSession.h"

namespace tarn::testing {
namespace {

TEST(XSessionTest, StartsAServerTheTargetAndXtermAndEndsThemByPid) {
    pid_t targetPid = -1, xtermPid = -1, serverCheckPid = -1;
    {
        XSession session(WindowManager::Openbox);
        ASSERT_EQ(session.display()[0], ':');
        EXPECT_GT(session.windowManagerPid(), 0);

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

}  // namespace
}  // namespace tarn::testing
