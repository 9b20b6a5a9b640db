// SPDX-License-Identifier: GPL-3.0-or-later
// The real tarn program on each kind of desktop, X11 with openbox and a
// headless sway: its window is a native one of the desktop, a macro run
// types exactly into the desktop's terminal, and neither says a word on
// standard error (the toolkit's warnings included).

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

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
#if defined(__SANITIZE_ADDRESS__)
        if (GetParam() == WindowManager::Sway) {
            const char* options = std::getenv("ASAN_OPTIONS");
            return {std::string("ASAN_OPTIONS=") + (options ? options : "") + ":detect_leaks=0"};
        }
#endif
        return {};
    }
};

TEST_P(DesktopProgram, PlayerWindowBelongsToTheProgram) {
    TarnProgram tarn(session, environment());
    tarn.start();
    const WindowId player = desktop.waitForWindow("Tarn - Interactive Screen");
    ASSERT_NE(player, 0);
    EXPECT_EQ(desktop.processOf(player), tarn.pid());
    ::kill(tarn.pid(), SIGTERM);
    EXPECT_TRUE(tarn.waitForExit(10s));
    EXPECT_EQ(tarn.err(), "");
}

TEST_P(DesktopProgram, BatchRunTypesExactlyIntoTheTerminal) {
    TarnProgram tarn(session, environment());
    const std::string out = tarn.folder() + "/received.txt";
    const pid_t terminal = testing::startTerminal(
        session, "Tarn line reader", {"sh", "-c", "stty -echo; exec cat > '" + out + "'"});
    const std::string macro =
        tarn.writeMacro("terminal.mcr",
                        "TimeOut 20\r\n"
                        "w = GetWindowID Tarn line reader,2\r\n"
                        "SetFocus " +
                            std::to_string(terminal) +
                            "\r\n"
                            "Send héllo wörld €uro, ελληνικά, 日本語 {+}{^}{%}~\r\n"
                            "Send {x 3}{BS 2}y^(u)z~\r\n");
    tarn.start({"--batch", macro});
    EXPECT_EQ(tarn.waitForExit(60s), 0);
    const std::string expected = "héllo wörld €uro, ελληνικά, 日本語 +^%\nz\n";
    std::string received;
    EXPECT_TRUE(platformtest::waitUntil(
        [&] {
            received = platformtest::readFile(out);
            return received == expected;
        },
        10s));
    EXPECT_EQ(received, expected);
    EXPECT_EQ(tarn.err(), "");
    session.kill(terminal);
}

INSTANTIATE_TEST_SUITE_P(Desktops, DesktopProgram,
                         ::testing::Values(WindowManager::Openbox, WindowManager::Sway),
                         [](const auto& info) { return std::string(testing::name(info.param)); });

}  // namespace
}  // namespace tarn::e2e
