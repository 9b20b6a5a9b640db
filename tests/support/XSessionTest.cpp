// SPDX-License-Identifier: GPL-3.0-or-later
// The fixture itself: whatever a session started ends with it, by its PID.
// (That it starts its server, openbox and tarn_target every other test shows.)
#include <gtest/gtest.h>
#include <signal.h>

#include "TargetProgram.h"
#include "XSession.h"

namespace tarn::testing {
namespace {

TEST(XSessionTest, EndsWhatItStartedByPid) {
    pid_t targetPid = -1, terminal = -1, sleeper = -1;
    {
        XSession session(WindowManager::Openbox);
        TargetProgram target(session);
        targetPid = target.pid();
        terminal = startTerminal(session, "fixture xterm");
        EXPECT_TRUE(session.kill(terminal));
        EXPECT_FALSE(session.running(terminal));
        EXPECT_FALSE(session.kill(terminal));
        sleeper = session.spawn({"sleep", "600"});
    }
    for (pid_t pid : {targetPid, terminal, sleeper})
        EXPECT_NE(::kill(pid, 0), 0) << pid;
}

}  // namespace
}  // namespace tarn::testing
