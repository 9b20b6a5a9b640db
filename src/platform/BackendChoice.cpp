// SPDX-License-Identifier: GPL-3.0-or-later
#include "BackendChoice.h"

#include <cstring>

namespace tarn {

namespace {

bool set(const char* value) {
    return value && *value;
}

// The protocols a compositor lacks, as a user can look them up.
std::string missing(const WaylandOffer& offer) {
    std::string names;
    if (!offer.toplevels) names = "zwlr_foreign_toplevel_manager_v1";
    if (!offer.virtualKeyboard) {
        if (!names.empty()) names += " and ";
        names += "zwp_virtual_keyboard_manager_v1";
    }
    return names;
}

}  // namespace

BackendChoice chooseBackend(const BackendEnvironment& environment,
                            const std::function<WaylandOffer(const char* display)>& probe) {
    BackendChoice choice;
    const bool forced = set(environment.override);
    const auto hasGnomeShell = [&] { return environment.gnomeShell && environment.gnomeShell(); };
    if (forced && std::strcmp(environment.override, "gnome") == 0) {
        if (hasGnomeShell()) {
            choice.backend = Backend::Gnome;
        } else {
            choice.problem =
                "TARN_BACKEND is \"gnome\" but the session bus has no GNOME Shell "
                "(org.gnome.Shell)";
        }
        return choice;
    }
    const bool wantX11 = forced && std::strcmp(environment.override, "x11") == 0;
    const bool wantKWin = forced && std::strcmp(environment.override, "kwin") == 0;
    const bool wantWayland = forced && !wantX11;
    if (forced && !wantX11 && !wantKWin && std::strcmp(environment.override, "wayland") != 0) {
        choice.problem = std::string("TARN_BACKEND is \"") + environment.override +
                         "\"; it can be \"x11\", \"wayland\", \"kwin\" or \"gnome\"";
        return choice;
    }
    if (wantX11 || (!wantWayland && !set(environment.waylandDisplay))) {
        if (!set(environment.x11Display)) {
            choice.problem = wantX11
                                 ? "TARN_BACKEND is \"x11\" but DISPLAY is not set"
                                 : "no desktop to work on: neither an X display (DISPLAY) nor a "
                                   "Wayland display (WAYLAND_DISPLAY) is set (from cron or a "
                                   "systemd unit, set DISPLAY and XAUTHORITY to those of the "
                                   "desktop session)";
        }
        return choice;
    }
    if (!set(environment.waylandDisplay)) {
        choice.problem = std::string("TARN_BACKEND is \"") + environment.override +
                         "\" but WAYLAND_DISPLAY is not set";
        return choice;
    }
    const WaylandOffer offer = probe(environment.waylandDisplay);
    if (wantKWin) {
        if (offer.reachable && offer.kwin) {
            choice.backend = Backend::KWin;
        } else {
            choice.problem = offer.reachable
                                 ? "TARN_BACKEND is \"kwin\" but KWin (org.kde.KWin) is not on "
                                   "the session bus"
                                 : std::string("cannot connect to the Wayland display \"") +
                                       environment.waylandDisplay + "\"";
        }
        return choice;
    }
    if (offer.reachable && offer.toplevels && offer.virtualKeyboard) {
        choice.backend = Backend::Wayland;
        return choice;
    }
    if (offer.reachable && offer.kwin && !forced) {
        choice.backend = Backend::KWin;
        return choice;
    }
    if (!wantWayland && hasGnomeShell()) {
        choice.backend = Backend::Gnome;
        return choice;
    }
    const std::string why =
        offer.reachable ? "this Wayland desktop does not offer " + missing(offer) +
                              " (wlroots compositors such as sway do; GNOME and Plasma do not)"
                        : std::string("cannot connect to the Wayland display \"") +
                              environment.waylandDisplay + "\"";
    if (wantWayland) {
        choice.problem = why;
    } else if (!set(environment.x11Display)) {
        choice.problem = why + ", and DISPLAY is not set for X11 programs either";
    } else {
        choice.notice = why + ": Tarn sees and types into X11 (XWayland) windows only";
    }
    return choice;
}

}  // namespace tarn
