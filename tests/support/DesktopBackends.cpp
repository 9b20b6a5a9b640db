// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopBackends.h"

#include <algorithm>
#include <optional>

#include "FakeInputKeyboard.h"
#include "KWinScripts.h"
#include "KWinWindowSystem.h"
#include "MutterKeyboard.h"
#include "ShellWindowSystem.h"
#include "ToplevelWindowSystem.h"
#include "VirtualKeyboard.h"
#include "XTestKeyboard.h"
#include "XcbWindowSystem.h"

namespace tarn::testing {

DesktopBackends connectBackends(XSession& session, Host& host) {
    DesktopBackends backends;
    if (session.kwin()) {
        const char* bus = session.busAddress().c_str();
        backends.windows = kwin::KWinWindowSystem::connect(host, bus);
        kwin::FakeInputKeyboard::Refusal refusal{};
        backends.keyboard = kwin::FakeInputKeyboard::connect(
            session.waylandDisplay().c_str(), bus, (session.folder() + "/config").c_str(), refusal);
    } else if (session.manager() == WindowManager::GnomeShell) {
        // The backends reach the shell through the session bus the tests' own
        // process is given.
        setenv("DBUS_SESSION_BUS_ADDRESS", session.busAddress().c_str(), 1);
        setenv("XDG_RUNTIME_DIR", session.folder().c_str(), 1);
        backends.windows = gnome::ShellWindowSystem::connect(host);
        std::string problem;
        backends.keyboard = gnome::MutterKeyboard::connect(problem);
    } else if (session.wayland()) {
        const char* display = session.waylandDisplay().c_str();
        backends.windows =
            wayland::ToplevelWindowSystem::connect(host, display, session.swaySocket().c_str());
        backends.keyboard = wayland::VirtualKeyboard::connect(display, session.display().c_str());
    } else {
        backends.windows = x11::XcbWindowSystem::connect(host, session.display().c_str());
        backends.keyboard = x11::XTestKeyboard::connect(session.display().c_str());
    }
    if (!backends.windows || !backends.keyboard) return {};
    return backends;
}

WindowId waitForTitle(WindowSystem& windows, const std::string& title, WindowId after,
                      std::chrono::milliseconds limit) {
    WindowId id = 0;
    waitUntil(
        [&] {
            for (const TopLevelWindow& w : windows.topLevelWindows())
                if (w.title == title && w.visible && w.id > after && w.id > id) id = w.id;
            return id != 0;
        },
        limit, std::chrono::milliseconds(20));
    return id;
}

WindowId showWindow(XSession& session, WindowSystem& windows, TargetProgram& target,
                    const std::string& name, const std::string& title) {
    // Window IDs grow with each new window on Wayland.
    WindowId newest = 0;
    for (const TopLevelWindow& w : windows.topLevelWindows())
        newest = std::max(newest, w.id);
    const WindowId x11 = target.window(name, title);
    const WindowId id = session.wayland() ? waitForTitle(windows, title, newest) : x11;
    if (!waitShown(windows, id)) return 0;
    // GNOME Shell may open a new window behind the focused one (its guard
    // against windows that steal the focus, which depends on timing): the
    // window is brought forward, as the other desktops show a new one.
    if (session.manager() == WindowManager::GnomeShell && !windows.setForeground(id)) return 0;
    return id;
}

bool minimize(XSession& session, WindowSystem& windows, WindowId id) {
    if (!session.kwin()) {
        return session.run({"xdotool", "windowminimize", "--sync", std::to_string(id)})
                   .exitStatus == 0;
    }
    // KWin's IDs are its own; the tests' titles are unique.
    std::string title;
    for (const TopLevelWindow& w : windows.topLevelWindows())
        if (w.id == id) title = w.title;
    auto scripts = kwin::KWinScripts::connect(session.busAddress().c_str());
    const auto done = scripts ? scripts->run(
                                    "var windows = workspace.clientList();\n"
                                    "for (var i = 0; i < windows.length; ++i)\n"
                                    "    if (windows[i].caption == " +
                                    kwin::KWinScripts::quoted(title) +
                                    ") windows[i].minimized = true;\n"
                                    "answer(\"ok\");")
                              : std::nullopt;
    return !title.empty() && done.has_value();
}

bool waitShown(WindowSystem& windows, WindowId id) {
    return waitUntil(
        [&] {
            for (const TopLevelWindow& w : windows.topLevelWindows())
                if (w.id == id && w.visible) return true;
            return false;
        },
        std::chrono::seconds(15));
}

}  // namespace tarn::testing
