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
    const std::string out = tarn.folder() + "/received.txt";
    const pid_t terminal = testing::startTerminalToFile(session, "Tarn line reader", out, false);
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

}  // namespace
}  // namespace tarn::e2e
