// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window system on GNOME Shell (Wayland), where no program may list or
// activate another's windows: Tarn's own Shell extension answers on the
// session bus (share/gnome-shell/extensions). It sees every window the shell
// manages, native and XWayland alike:
//
// - topLevelWindows(): in the shell's stacking order, topmost first. Every
//   listed window is visible (a minimised one too, as on X11); a window a
//   program hides is gone on Wayland.
// - Window IDs: the shell's own IDs mapped to small positive numbers, one per
//   window for as long as it exists, never reused in a run, growing with
//   each window first seen.
// - setForeground(): un-minimises and activates the window, and returns once
//   the shell reports it focused, or after kActivationTimeout; the shell may
//   turn an activation down (the first one after start-up was seen to miss),
//   so it is asked again now and then within that time.
// - processOf() and activateProcess(): the process the shell knows for the
//   window.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>

#include "Host.h"
#include "ShellConnection.h"
#include "WindowSystem.h"

namespace tarn::gnome {

class ShellWindowSystem : public WindowSystem {
  public:
    // Null when the extension does not answer on the session bus.
    static std::unique_ptr<ShellWindowSystem> connect(Host& host);
    ~ShellWindowSystem() override;

    std::vector<TopLevelWindow> topLevelWindows() override;
    bool isWindow(WindowId window) override;
    bool isIconic(WindowId window) override;
    void restore(WindowId window) override;
    bool setForeground(WindowId window) override;
    void postClose(WindowId window) override;
    ProcessId processOf(WindowId window) override;
    void activateProcess(ProcessId process) override;
    bool displayClosed() override;

    static constexpr std::chrono::milliseconds kActivationTimeout{5000};
    // How long an activation may go unanswered before it is asked again.
    static constexpr std::chrono::milliseconds kActivationRetry{250};

  private:
    struct Window {
        WindowId id = 0;
        std::uint64_t shellId = 0;
        std::string title;
        ProcessId process = 0;
        bool minimized = false;
        bool focused = false;
    };

    ShellWindowSystem(Host& host, std::unique_ptr<ShellConnection> bus);
    std::vector<Window> list();
    bool find(WindowId id, Window& found);
    std::uint64_t shellIdOf(WindowId id) const;
    bool activate(WindowId id);

    Host& host_;
    std::unique_ptr<ShellConnection> bus_;
    std::map<std::uint64_t, WindowId> ids_;
    WindowId lastId_ = 0;
};

}  // namespace tarn::gnome
