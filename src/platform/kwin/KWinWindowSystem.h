// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window system on Plasma (Wayland), through KWin scripts (KWinScripts.h).
// It sees every window KWin manages, native and XWayland alike:
//
// - topLevelWindows(): the normal windows and dialogs in KWin's stacking
//   order, topmost first. Every listed window is visible (a minimised one
//   counts as visible, as on X11); a window a program hides is gone on
//   Wayland. KWin tells twins apart by appending " <2>", " <3>"... to the
//   later ones' captions, and marks a program that does not answer with
//   " (Not Responding)"; titles are given without either.
// - Window IDs: KWin's internal IDs mapped to small positive numbers in the
//   order Tarn first sees the windows, never reused in a run.
// - processOf(): the process KWin knows for the client, not a property the
//   client writes.
// - setForeground() and activateProcess(): un-minimise and activate through
//   KWin, confirmed by KWin's own word that the window is active, bounded by
//   kActivationTimeout.

#include <chrono>
#include <memory>

#include "Host.h"
#include "WindowSystem.h"

namespace tarn::kwin {

class KWinScripts;

class KWinWindowSystem : public WindowSystem {
  public:
    // Null when the session bus or KWin's scripting cannot be reached.
    // `host` is yielded to while activation is awaited.
    static std::unique_ptr<KWinWindowSystem> connect(Host& host, const char* busAddress = nullptr);
    ~KWinWindowSystem() override;
    KWinWindowSystem(const KWinWindowSystem&) = delete;
    KWinWindowSystem& operator=(const KWinWindowSystem&) = delete;

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

    struct State;

  private:
    explicit KWinWindowSystem(std::unique_ptr<State> state);
    std::unique_ptr<State> d_;
};

// A caption as the program set it: without the " <N>" (N >= 2) KWin appends
// to a twin's, nor the " (Not Responding)" it appends while the program does
// not answer.
std::string withoutTwinSuffix(std::string caption);

}  // namespace tarn::kwin
