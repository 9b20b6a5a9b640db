// SPDX-License-Identifier: GPL-3.0-or-later
// The real tarn program on each kind of desktop, X11 with openbox and a
// headless sway: its window is a native one of the desktop, a macro run
// types exactly into the desktop's terminal, and neither says a word on
// standard error (the toolkit's warnings included). And how the desktop opens
// a macro file.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TarnProgram.h"

namespace tarn::e2e {
namespace {

using testing::WindowManager;
using testing::XSession;

class DesktopProgram : public ::testing::TestWithParam<WindowManager> {
  protected:
    XSession session{GetParam()};
    Desktop desktop{session};
    // Qt's Wayland plugin leaves its registry objects to the end of the
    // process, and libwayland's allocations carry no frames that would tell
    // them from Tarn's own: under AddressSanitizer tarn is leak-checked on
    // sway in process instead (the Desktops window and keyboard tables).
    std::vector<std::string> environment() const {
#if defined(TARN_SANITIZE)
        if (GetParam() == WindowManager::Sway) {
            const char* options = std::getenv("ASAN_OPTIONS");
            return {std::string("ASAN_OPTIONS=") + (options ? options : "") + ":detect_leaks=0"};
        }
#endif
        return {};
    }
};

TEST_P(DesktopProgram, PlayerWindowIsTheProgramsAndABatchRunTypesExactly) {
    TarnProgram player(session, environment());
    player.start();
    const WindowId window = desktop.waitForWindow("Tarn - Interactive Screen");
    ASSERT_NE(window, 0);
    EXPECT_EQ(desktop.processOf(window), player.pid());
    ::kill(player.pid(), SIGTERM);
    EXPECT_TRUE(player.waitForExit(10s));
    EXPECT_EQ(player.err(), "");

    // Cooked: the terminal itself takes the backspaces and ^U (kill line).
    TarnProgram tarn(session, environment());
    pid_t terminal = -1;
    const std::string out =
        testing::startTerminalToFile(session, "Tarn line reader", false, &terminal);
    const std::string macro = tarn.writeMacro(
        "terminal.mcr", "TimeOut 20\r\nw = GetWindowID Tarn line reader,2\r\nSetFocus " +
                            std::to_string(terminal) +
                            "\r\nSend héllo wörld €uro, ελληνικά, 日本語 {+}{^}{%}~\r\n"
                            "Send {x 3}{BS 2}y^(u)z~\r\n");
    tarn.start({"--batch", macro});
    EXPECT_EQ(tarn.waitForExit(60s), 0);
    const std::string expected = "héllo wörld €uro, ελληνικά, 日本語 +^%\nz\n";
    EXPECT_TRUE(
        platformtest::waitUntil([&] { return platformtest::readFile(out) == expected; }, 10s))
        << platformtest::readFile(out);
    EXPECT_EQ(tarn.err(), "");
}

INSTANTIATE_TEST_SUITE_P(Desktops, DesktopProgram,
                         ::testing::Values(WindowManager::Openbox, WindowManager::Sway),
                         [](const auto& info) { return std::string(testing::name(info.param)); });

// The desktop entries as a desktop starts them, with gio, on a desktop whose
// data folders hold only what the package installs there: the entries and
// the MIME type. A downloaded macro can start programs, end processes and end
// the session, so opening one (a double-click) shows it in the editor and runs
// nothing; running it is the hidden entry the user picks under Open With.
struct Launch {
    const char* name;
    std::vector<std::string> gio;  // after "gio"; "MACRO": the macro's path
    const char* window;            // the window that shows; nullptr: none
    bool runs;                     // the macro ran
};

const Launch kLaunches[] = {
    {"MenuOpensThePlayer", {"launch", "ENTRY"}, "Tarn - Interactive Screen", false},
    {"EntryWithAFileOpensTheEditor",
     {"launch", "ENTRY", "MACRO"},
     "harmless.mcr - Tarn Macro Editor",
     false},
    {"DoubleClickOpensTheEditor", {"open", "MACRO"}, "harmless.mcr - Tarn Macro Editor", false},
    {"OpenWithRunWithTarnRuns", {"launch", "RUN_ENTRY", "MACRO"}, nullptr, true},
};

// Test names list the launch, not its bytes.
void PrintTo(const Launch& poLaunch, std::ostream* poOut) {
    *poOut << poLaunch.name;
}

class DesktopEntry : public ::testing::TestWithParam<Launch> {};

// A child of this process (a subreaper's adopted one included) by its name, 0
// when there is none.
pid_t childNamed(const std::string& name) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string stat = platformtest::readFile(entry.path() / "stat");
        // "PID (COMM) STATE PPID ..."; COMM may hold blanks, never ") ".
        const std::size_t close = stat.rfind(") ");
        if (close == std::string::npos) continue;
        const std::size_t open = stat.find(" (");
        char state = 0;
        int parent = 0;
        if (std::sscanf(stat.c_str() + close + 2, "%c %d", &state, &parent) != 2) continue;
        if (parent == ::getpid() && stat.substr(open + 2, close - open - 2) == name)
            return std::atoi(stat.c_str());
    }
    return 0;
}

TEST_P(DesktopEntry, StartsWhatTheUserChose) {
    const Launch& launch = GetParam();
    // Tarn, started by gio and left behind by it, comes to this process,
    // which ends it however the test ends (it is killed first when it still
    // runs, and collected), so that no later test takes it for its own.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    struct EndTarns {
        ~EndTarns() {
            while (const pid_t left = childNamed("tarn")) {
                ::kill(left, SIGKILL);
                ::waitpid(left, nullptr, 0);
            }
        }
    } endTarns;
    testing::XSession session(testing::WindowManager::Openbox);
    platformtest::TempDir share("tarn-xdg");
    const std::string applications = share.path() + "/applications";
    platformtest::makeFolder(applications);
    platformtest::makeFolder(share.path() + "/mime/packages");
    platformtest::writeFile(applications + "/tarn.desktop",
                            platformtest::readFile(TARN_DESKTOP_ENTRY));
    platformtest::writeFile(applications + "/tarn.run.desktop",
                            platformtest::readFile(TARN_RUN_DESKTOP_ENTRY));
    platformtest::writeFile(share.path() + "/mime/packages/tarn.xml",
                            platformtest::readFile(TARN_MIME_PACKAGE));
    // What the package's triggers do when it is installed.
    ASSERT_EQ(session.run({"update-mime-database", share.path() + "/mime"}, 60s).exitStatus, 0);
    ASSERT_EQ(session.run({"update-desktop-database", applications}, 60s).exitStatus, 0);

    TarnProgram tarn(session, {"XDG_DATA_DIRS=" + share.path(), "GIO_USE_VFS=local",
                               "DBUS_SESSION_BUS_ADDRESS=disabled:"});
    const std::string ran = tarn.folder() + "/ran";
    const std::string macro = tarn.writeMacro("harmless.mcr", "pid = Run touch " + ran + "\r\n");
    const char* path = std::getenv("PATH");
    std::vector<std::string> argv{
        "/usr/bin/env", "PATH=" + tarn.programFolder() + ":" + (path ? path : "/usr/bin:/bin"),
        "gio"};
    for (const std::string& word : launch.gio) {
        argv.push_back(word == "MACRO"       ? macro
                       : word == "ENTRY"     ? applications + "/tarn.desktop"
                       : word == "RUN_ENTRY" ? applications + "/tarn.run.desktop"
                                             : word);
    }
    tarn.launch(argv);
    ASSERT_EQ(tarn.waitForExit(30s), 0) << tarn.err();

    if (launch.runs) {
        EXPECT_TRUE(platformtest::waitUntil([&] { return platformtest::exists(ran); }, 30s));
        // The run's tarn ends by itself and is this process's to collect.
        const pid_t ranBy = childNamed("tarn");
        ASSERT_GT(ranBy, 0);
        int status = -1;
        EXPECT_TRUE(platformtest::waitUntil(
            [&] { return ::waitpid(ranBy, &status, WNOHANG) == ranBy; }, 30s));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        return;
    }
    Desktop desktop(session);
    const WindowId window = desktop.waitForWindow(launch.window);
    const ProcessId opened = desktop.processOf(window);
    EXPECT_TRUE(desktop.windowExists("Tarn - Interactive Screen"));
    EXPECT_FALSE(platformtest::exists(ran));
    EXPECT_GT(opened, 0);
}

INSTANTIATE_TEST_SUITE_P(Gio, DesktopEntry, ::testing::ValuesIn(kLaunches),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarn::e2e
