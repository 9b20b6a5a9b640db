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

#include <cstdlib>
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

// Whatever state the toolkit leaves its display connection in, the program
// ends once its run is over: many short runs in a row, each well within a
// bound (Qt's Wayland display could deadlock as it was torn down).
TEST_P(DesktopProgram, EveryRunEnds) {
    TarnProgram tarn(session, environment());
    const std::string macro = tarn.writeMacro("short.mcr", "Rem short\r\n");
    for (int run = 0; run < 40; ++run) {
        tarn.start({"--batch", macro});
        ASSERT_EQ(tarn.waitForExit(20s), 0) << "run " << run << " did not end";
        EXPECT_EQ(tarn.err(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Desktops, DesktopProgram,
                         ::testing::Values(WindowManager::Openbox, WindowManager::Sway),
                         [](const auto& info) { return std::string(testing::name(info.param)); });

// Opening a macro from the file manager. A downloaded macro can start
// programs, end processes and end the session, so a double-click must open it
// for reading and nothing more: the desktop entry's default action is the
// editor, and running is an action the user picks.
// gio open, as a file manager does, on a desktop whose data folders hold only
// what the package installs for the desktop: the entry and the MIME type.
TEST(DesktopEntry, OpeningAMacroShowsItInTheEditorAndRunsNothing) {
    // Tarn, started by gio and left behind by it, comes to this process.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    testing::XSession session(testing::WindowManager::Openbox);
    platformtest::TempDir share("tarn-xdg");
    platformtest::makeFolder(share.path() + "/applications");
    platformtest::makeFolder(share.path() + "/mime/packages");
    platformtest::writeFile(share.path() + "/applications/tarn.desktop",
                            platformtest::readFile(TARN_DESKTOP_ENTRY));
    platformtest::writeFile(share.path() + "/mime/packages/tarn.xml",
                            platformtest::readFile(TARN_MIME_PACKAGE));
    // What the package's triggers do when it is installed.
    ASSERT_EQ(session.run({"update-mime-database", share.path() + "/mime"}, 60s).exitStatus, 0);
    ASSERT_EQ(
        session.run({"update-desktop-database", share.path() + "/applications"}, 60s).exitStatus,
        0);

    TarnProgram tarn(session, {"XDG_DATA_DIRS=" + share.path(), "GIO_USE_VFS=local",
                               "DBUS_SESSION_BUS_ADDRESS=disabled:"});
    const std::string ran = tarn.folder() + "/ran";
    const std::string macro = tarn.writeMacro("harmless.mcr", "pid = Run touch " + ran + "\r\n");
    const char* path = std::getenv("PATH");
    tarn.launch({"/usr/bin/env",
                 "PATH=" + tarn.programFolder() + ":" + (path ? path : "/usr/bin:/bin"), "gio",
                 "open", macro});
    ASSERT_EQ(tarn.waitForExit(30s), 0) << tarn.err();

    Desktop desktop(session);
    const WindowId editor = desktop.waitForWindow("harmless.mcr - Tarn Macro Editor");
    const ProcessId opened = desktop.processOf(editor);
    EXPECT_TRUE(desktop.windowExists("Tarn - Interactive Screen"));
    EXPECT_FALSE(platformtest::exists(ran));
    ASSERT_GT(opened, 0);
    ::kill(opened, SIGKILL);
    ::waitpid(opened, nullptr, 0);
}

}  // namespace
}  // namespace tarn::e2e
