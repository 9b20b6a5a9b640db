// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which desktop backends a run uses, decided once at start from the
// environment: a Wayland session whose compositor offers the two wlroots
// protocols Tarn needs (foreign toplevels, virtual keyboard) gets the Wayland
// backends for every window, XWayland ones included; an X11 session, and a
// Wayland session without them, the X11 backends, which there reach XWayland
// windows only, unless its compositor is one Tarn has backends of its own
// for: KWin (org.kde.KWin on the session bus) gets the KWin backends, and
// GNOME Shell (org.gnome.Shell on the session bus) the GNOME backends, which
// work through Tarn's own Shell extension; both for every window.
// TARN_BACKEND=x11|wayland|kwin|gnome overrides the choice.

#include <functional>
#include <string>

namespace tarn {

enum class Backend { X11, Wayland, KWin, Gnome };

// What a compositor offers, as the Wayland backend's probe finds it.
struct WaylandOffer {
    bool reachable = false;  // the compositor answered at all
    bool toplevels = false;
    bool virtualKeyboard = false;
    bool kwin = false;  // KWin owns org.kde.KWin on the session bus
};

struct BackendChoice {
    Backend backend = Backend::X11;
    // One line for stderr when the choice limits what Tarn can do; empty
    // otherwise.
    std::string notice;
    // Why no backend can be used; empty when one can.
    std::string problem;
};

struct BackendEnvironment {
    const char* override = nullptr;        // TARN_BACKEND
    const char* waylandDisplay = nullptr;  // WAYLAND_DISPLAY
    const char* x11Display = nullptr;      // DISPLAY
    // Whether the session bus has GNOME Shell (org.gnome.Shell); asked only
    // in a Wayland session whose compositor lacks the wlroots protocols, or
    // when TARN_BACKEND asks for GNOME. Null: no.
    std::function<bool()> gnomeShell;
};

// `probe` is asked about the Wayland display only when the choice depends on
// it.
BackendChoice chooseBackend(const BackendEnvironment& environment,
                            const std::function<WaylandOffer(const char* display)>& probe);

}  // namespace tarn
