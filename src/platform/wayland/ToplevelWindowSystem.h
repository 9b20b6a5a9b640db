// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window system on a Wayland desktop whose compositor offers
// zwlr_foreign_toplevel_manager_v1 (sway, Hyprland, labwc, river, Wayfire and
// the other wlroots compositors), over a connection of its own. It sees
// every toplevel window, native and XWayland alike:
//
// - topLevelWindows(): the protocol gives no stacking order; the active
//   window comes first, then the others by when they were last active, then
//   by age, newest first (windows there before Tarn connected included),
//   which is the order an X11 desktop stacks them in when each new window
//   comes up on top.
//   Every listed window is visible: a minimised one counts as visible, as on
//   X11, so that a macro finds the same windows on both. A window a program
//   hides is gone on Wayland (its toplevel is destroyed), so there are no
//   hidden windows to list.
// - Window IDs: the protocol's handles mapped to small positive numbers, one
//   per window for as long as it exists, never reused in a run.
// - setForeground(): un-minimises the window and asks for its activation;
//   returns once the compositor reports it active, which also gives it the
//   keyboard focus, or after kActivationTimeout.
// - postClose(): what the window's close button does.
// - processOf() and activateProcess(): the protocol gives no process. With
//   sway's IPC ($SWAYSOCK) each window is paired with its container in
//   sway's tree by age (both are numbered as sway maps the window), so twins
//   of one program and title each have their own process. Without it, every
//   window's process is unknown (0) and activateProcess() fails as for a
//   process without windows.

#include <chrono>
#include <memory>

#include "Host.h"
#include "WindowSystem.h"

namespace tarn::wayland {

class ToplevelWindowSystem : public WindowSystem {
  public:
    // Connects to `display` (nullptr: $WAYLAND_DISPLAY), and asks sway's IPC
    // at `swaySocket` (nullptr: $SWAYSOCK) for processes. Null when it cannot
    // connect, or the compositor lacks the protocol or a seat. `host` is
    // yielded to while setForeground() waits.
    static std::unique_ptr<ToplevelWindowSystem> connect(Host& host, const char* display = nullptr,
                                                         const char* swaySocket = nullptr);
    ~ToplevelWindowSystem() override;
    ToplevelWindowSystem(const ToplevelWindowSystem&) = delete;
    ToplevelWindowSystem& operator=(const ToplevelWindowSystem&) = delete;

    std::vector<TopLevelWindow> topLevelWindows() override;
    bool isWindow(WindowId window) override;
    bool isIconic(WindowId window) override;
    void restore(WindowId window) override;
    bool setForeground(WindowId window) override;
    void postClose(WindowId window) override;
    ProcessId processOf(WindowId window) override;
    void activateProcess(ProcessId process) override;
    bool displayClosed() override;

    static constexpr std::chrono::milliseconds kActivationTimeout{2000};

    class Toplevels;

  private:
    explicit ToplevelWindowSystem(std::unique_ptr<Toplevels> toplevels);
    std::unique_ptr<Toplevels> d_;
};

}  // namespace tarn::wayland
