// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a macro from the file manager. A downloaded macro can start
// programs, end processes and end the session, so a double-click must open it
// for reading and nothing more: the desktop entry's default action is the
// editor, and running is an action the user picks.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include "TarnProgram.h"

namespace tarn::e2e {
namespace {

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
