// SPDX-License-Identifier: GPL-3.0-or-later
// Tarn on a headless GNOME Shell chooses its GNOME backends by itself, and
// without its extension it starts nothing and says what to do, instead of
// typing into windows it cannot check.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "LinuxPlatform.h"
#include "XSession.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;
using namespace testing;  // the desktop test fixture

TEST(GnomeExtensionTest, WithoutTheExtensionTarnSaysWhatToDoAndStartsNothing) {
    XSession session(WindowManager::GnomeShell);
    setenv("DBUS_SESSION_BUS_ADDRESS", session.busAddress().c_str(), 1);
    setenv("XDG_RUNTIME_DIR", session.folder().c_str(), 1);
    setenv("WAYLAND_DISPLAY", session.waylandDisplay().c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("TARN_BACKEND");
    const auto extensionAnswers = [&] {
        return session
                   .run({"gdbus", "call", "--session", "--dest", "org.freedesktop.DBus",
                         "--object-path", "/org/freedesktop/DBus", "--method",
                         "org.freedesktop.DBus.NameHasOwner", "org.tarn.Shell1"})
                   .output.find("true") != std::string::npos;
    };
    const auto enable = [&](const char* list) {
        ASSERT_EQ(session.run({"gsettings", "set", "org.gnome.shell", "enabled-extensions", list})
                      .exitStatus,
                  0);
    };

    std::string problem;
    auto platform = LinuxPlatform::connect(nullptr, problem);
    EXPECT_TRUE(platform) << problem;
    platform.reset();

    enable("[]");
    ASSERT_TRUE(waitUntil([&] { return !extensionAnswers(); }, 10s));
    problem.clear();
    EXPECT_FALSE(LinuxPlatform::connect(nullptr, problem));
    EXPECT_NE(problem.find("gnome-extensions enable tarn@tarn.example.org"), std::string::npos)
        << problem;
    EXPECT_EQ(problem.find('\n'), std::string::npos) << problem;

    enable("['tarn@tarn.example.org']");
    ASSERT_TRUE(waitUntil([&] { return extensionAnswers(); }, 10s));
    problem.clear();
    EXPECT_TRUE(LinuxPlatform::connect(nullptr, problem)) << problem;
}

}  // namespace
}  // namespace tarn
