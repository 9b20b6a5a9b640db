// SPDX-License-Identifier: GPL-3.0-or-later
// The backend a run uses, from TARN_BACKEND, WAYLAND_DISPLAY, DISPLAY and what
// the compositor offers.
#include <gtest/gtest.h>

#include <string>

#include "BackendChoice.h"

namespace tarn {
namespace {

TEST(BackendChoiceTest, FollowsTheSessionAndTheOverride) {
    const WaylandOffer wlroots{true, true, true}, gnome{true, false, false},
        noKeyboard{true, true, false}, plasma{true, false, false, true}, gone{};
    const struct {
        const char *override, *wayland, *x11;
        WaylandOffer offer;
        Backend backend;
        bool gnomeShell;      // the session bus has org.gnome.Shell
        const char* notice;   // a part of it; "" none
        const char* problem;  // a part of it; "" none
    } cases[] = {
        {nullptr, nullptr, ":0", gone, Backend::X11, false, "", ""},
        {nullptr, "wayland-1", ":0", wlroots, Backend::Wayland, false, "", ""},
        {nullptr, "wayland-1", nullptr, wlroots, Backend::Wayland, false, "", ""},
        {nullptr, "wayland-0", ":0", gnome, Backend::X11, false,
         "zwlr_foreign_toplevel_manager_v1 and zwp_virtual_keyboard_manager_v1", ""},
        {nullptr, "wayland-0", ":0", noKeyboard, Backend::X11, false, "XWayland", ""},
        {nullptr, "wayland-0", nullptr, gnome, Backend::X11, false, "", "DISPLAY is not set"},
        {nullptr, "", "", gone, Backend::X11, false, "", "neither an X display"},
        {"x11", "wayland-1", ":0", wlroots, Backend::X11, false, "", ""},
        {"x11", "wayland-1", nullptr, wlroots, Backend::X11, false, "", "DISPLAY is not set"},
        {"wayland", "wayland-0", ":0", gnome, Backend::X11, false, "", "does not offer"},
        {"wayland", "wayland-9", ":0", gone, Backend::X11, false, "", "cannot connect"},
        {"wayland", nullptr, ":0", wlroots, Backend::X11, false, "", "WAYLAND_DISPLAY is not set"},
        {"mir", "wayland-1", ":0", wlroots, Backend::X11, false, "",
         "\"x11\", \"wayland\", \"kwin\" or \"gnome\""},
        {"gnome", "wayland-0", nullptr, gnome, Backend::Gnome, true, "", ""},
        {"gnome", "wayland-0", ":0", gnome, Backend::X11, false, "", "no GNOME Shell"},
        {nullptr, "wayland-0", ":0", gnome, Backend::Gnome, true, "", ""},
        {nullptr, "wayland-0", nullptr, gnome, Backend::Gnome, true, "", ""},
        // A wlroots compositor goes first; asked for wlroots, GNOME is no answer.
        {nullptr, "wayland-1", ":0", wlroots, Backend::Wayland, true, "", ""},
        {"wayland", "wayland-0", ":0", gnome, Backend::X11, true, "", "does not offer"},
        {"x11", "wayland-0", ":0", gnome, Backend::X11, true, "", ""},
        {nullptr, "wayland-0", ":0", plasma, Backend::KWin, false, "", ""},
        {nullptr, "wayland-0", nullptr, plasma, Backend::KWin, false, "", ""},
        {"kwin", "wayland-0", ":0", plasma, Backend::KWin, false, "", ""},
        {"kwin", "wayland-0", ":0", gnome, Backend::X11, false, "", "org.kde.KWin"},
        {"kwin", "wayland-9", ":0", gone, Backend::X11, false, "", "cannot connect"},
        {"kwin", nullptr, ":0", plasma, Backend::X11, false, "", "\"kwin\" but WAYLAND_DISPLAY"},
        {"x11", "wayland-0", ":0", plasma, Backend::X11, false, "", ""},
        {"wayland", "wayland-0", ":0", plasma, Backend::X11, false, "", "does not offer"},
    };
    for (const auto& c : cases) {
        int probes = 0;
        const BackendChoice choice = chooseBackend(
            {c.override, c.wayland, c.x11, [&] { return c.gnomeShell; }}, [&](const char* display) {
                ++probes;
                EXPECT_STREQ(display, c.wayland);
                return c.offer;
            });
        const std::string label = std::string(c.override ? c.override : "-") + " " +
                                  (c.wayland ? c.wayland : "-") + " " + (c.x11 ? c.x11 : "-");
        EXPECT_EQ(choice.backend, c.backend) << label;
        EXPECT_EQ(choice.notice.empty(), !*c.notice) << label << ": " << choice.notice;
        EXPECT_NE(choice.notice.find(c.notice), std::string::npos) << label;
        EXPECT_EQ(choice.problem.empty(), !*c.problem) << label << ": " << choice.problem;
        EXPECT_NE(choice.problem.find(c.problem), std::string::npos) << label;
        // An X11 session is never kept waiting on a compositor.
        if (!c.wayland || !*c.wayland || (c.override && std::string(c.override) == "x11")) {
            EXPECT_EQ(probes, 0) << label;
        }
    }
}

}  // namespace
}  // namespace tarn
