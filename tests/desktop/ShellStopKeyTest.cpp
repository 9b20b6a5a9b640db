// SPDX-License-Identifier: GPL-3.0-or-later
// The stop key on a headless GNOME Shell: Tarn's extension grabs Pause for an
// armed run and says so on the bus; unarmed or suspended, the key goes to the
// focused window like any other.
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "DesktopBackends.h"
#include "KeyNotation.h"
#include "MutterKeyboard.h"
#include "ShellStopKey.h"
#include "TargetProgram.h"
#include "XSession.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;
using namespace testing;  // the desktop test fixture

constexpr int kQtKeyPause = 0x01000008;

bool readable(int descriptor, std::chrono::milliseconds limit) {
    pollfd watch{descriptor, POLLIN, 0};
    return ::poll(&watch, 1, static_cast<int>(limit.count())) == 1;
}

TEST(ShellStopKeyTest, PauseStopsAnArmedRunAndOtherwiseReachesTheWindow) {
    XSession session(WindowManager::GnomeShell);
    PlainHost host;
    DesktopBackends backends = connectBackends(session, host);
    ASSERT_TRUE(backends.windows && backends.keyboard);
    auto key = gnome::ShellStopKey::connect();
    ASSERT_TRUE(key);
    // The user's own keyboard, beside the run's.
    std::string problem;
    auto user = gnome::MutterKeyboard::connect(problem);
    ASSERT_TRUE(user) << problem;

    TargetProgram target(session);
    const WindowId window = showWindow(session, *backends.windows, target, "main", "Stop here");
    ASSERT_TRUE(backends.windows->setForeground(window));
    const auto pausesReceived = [&] {
        const auto keys = target.keys("main");
        return std::count_if(keys.begin(), keys.end(),
                             [](const KeyRecord& k) { return k.press && k.key == kQtKeyPause; });
    };
    // Keys arrive in order: once the marker is there, so is what came before.
    const auto typedUpTo = [&](Keyboard& keyboard, const std::string& marker) {
        keyboard.type(parseKeys(marker));
        return waitUntil([&] { return target.text("main").find(marker) != std::string::npos; },
                         10s);
    };

    ASSERT_TRUE(key->arm());
    int raised = 0;
    key->Pressed = [&] { ++raised; };
    EXPECT_FALSE(key->pressed());
    user->type(parseKeys("{BREAK}"));
    EXPECT_TRUE(readable(key->descriptor(), 10s));
    EXPECT_TRUE(waitUntil([&] { return key->pressed(); }, 5s));
    EXPECT_EQ(raised, 1);
    ASSERT_TRUE(typedUpTo(*user, "a"));
    EXPECT_EQ(pausesReceived(), 0) << "the grabbed key reached the window";

    // The run types the key itself: it reaches the window and stops nothing.
    ASSERT_TRUE(key->arm());
    backends.keyboard->setStopKey(key.get());
    backends.keyboard->type(parseKeys("{BREAK}"));
    ASSERT_TRUE(typedUpTo(*backends.keyboard, "b"));
    EXPECT_EQ(pausesReceived(), 1);
    EXPECT_FALSE(key->pressed());
    backends.keyboard->setStopKey(nullptr);

    // Disarmed, the key is the window's again.
    key->disarm();
    user->type(parseKeys("{BREAK}"));
    ASSERT_TRUE(typedUpTo(*user, "c"));
    EXPECT_EQ(pausesReceived(), 2);
    EXPECT_FALSE(key->pressed());

    // A stop key that is gone leaves the key to the window.
    ASSERT_TRUE(key->arm());
    key.reset();
    user->type(parseKeys("{BREAK}"));
    ASSERT_TRUE(typedUpTo(*user, "d"));
    EXPECT_EQ(pausesReceived(), 3);
}

}  // namespace
}  // namespace tarn
