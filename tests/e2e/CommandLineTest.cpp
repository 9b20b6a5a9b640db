// The tarn program's command line where no macro runs: the conventions of a
// Linux program, and a clear word when there is no X display to work on.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "TarnProgram.h"

namespace tarn::e2e {
namespace {

TEST(CommandLine, VersionAndHelpNeedNoDisplay) {
    TarnProgram version("");
    version.start({"--version"});
    ASSERT_EQ(version.waitForExit(20s), 0);
    EXPECT_EQ(version.out(), "Tarn 2.0.3\n");

    TarnProgram help("");
    help.start({"--help"});
    ASSERT_EQ(help.waitForExit(20s), 0);
    EXPECT_EQ(help.out().rfind("Usage: tarn [MACRO-FILE]\n", 0), 0u) << help.out();
}

TEST(CommandLine, CheckNeedsNoDisplayAndRunsNothing) {
    TarnProgram check("");
    const std::string macro = check.writeMacro("m.mcr", "Run xterm\r\nSend {BOGUS}\r\n");
    check.start({"--check", macro});
    ASSERT_EQ(check.waitForExit(20s), 1);
    EXPECT_EQ(check.out(), macro +
                               ":2:6: error 5: Invalid procedure call or argument (Send "
                               "cannot read these keys)\n");
}

TEST(CommandLine, WithoutADisplayOneClearLineAndAFailureStatus) {
    // No DISPLAY at all, and a display no server answers.
    for (const char* display : {"", ":65000"}) {
        TarnProgram tarn(display);
        tarn.start({tarn.writeMacro("m.mcr", "Rem nothing\r\n")});
        const auto status = tarn.waitForExit(20s);
        ASSERT_TRUE(status.has_value()) << display;
        EXPECT_NE(*status, 0) << display;
        EXPECT_EQ(tarn.out(), "") << display;
        const std::string err = tarn.err();
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;  // one line
        EXPECT_NE(err.find("X display"), std::string::npos) << err;
    }
}

// The children of this process that are not the session's own servers, after
// collecting those that have ended.
std::vector<std::string> strays(const testing::XSession& session) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const pid_t pid = std::atoi(entry.path().filename().c_str());
        if (pid <= 0 || pid == session.serverPid() || pid == session.windowManagerPid() ||
            pid == session.busPid())
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        pid_t parent = 0;
        std::istringstream(line.substr(close + 2)) >> state >> parent;
        if (parent != getpid()) continue;
        if (state == 'Z') {
            waitpid(pid, nullptr, WNOHANG);
            continue;
        }
        found.push_back(std::to_string(pid) + " " + line.substr(0, close + 1));
    }
    return found;
}

// Run unattended where no session bus exists (a kiosk display, a scheduler):
// nothing may stay behind, and the programs the macro starts see no bus
// either, as Tarn was given none.
TEST(Leftovers, ARunWithoutASessionBusLeavesNoProcessBehind) {
    // Orphans, such as a bus daemon started behind Tarn's back, come here.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    testing::XSession session(testing::WindowManager::Openbox);
    TarnProgram tarn(session, {}, /*withBus=*/false);
    const std::string environment = tarn.folder() + "/environment";
    tarn.start({tarn.writeMacro("env.mcr", "Run sh -c \"env > " + environment + ".part; mv " +
                                               environment + ".part " + environment + "\"\r\n")});
    ASSERT_EQ(tarn.waitForExit(60s), 0) << tarn.err();
    ASSERT_TRUE(platformtest::waitUntil([&] { return platformtest::exists(environment); }, 10s));
    EXPECT_EQ(platformtest::readFile(environment).find("DBUS_SESSION_BUS_ADDRESS"),
              std::string::npos);
    std::vector<std::string> left;
    EXPECT_TRUE(platformtest::waitUntil([&] { return (left = strays(session)).empty(); }, 10s))
        << ::testing::PrintToString(left);
    for (const std::string& stray : left)
        kill(std::atoi(stray.c_str()), SIGKILL);
    platformtest::waitUntil([&] { return strays(session).empty(); }, 5s);
}

}  // namespace
}  // namespace tarn::e2e
