// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keystrokes on Plasma (Wayland) through KWin's org_kde_kwin_fake_input,
// typed by the shared typing engine (TypingEngine.h):
// - keys are KWin's own keycodes, read from the keymap KWin hands every
//   wl_keyboard, so that text arrives exactly under the user's layout;
// - characters the layout lacks go through the scratch layout group
//   (ScratchLayout.h): switched to while they are typed, switched back when
//   the sequence ends, and taken out of the user's configuration once the
//   run ends or nothing has been typed for a while (restoreLayout);
// - before each batch the window KWin reports active (a KWin script
//   watching activation) must still be the one that was active when the
//   sequence began; after each batch KWin must have handled it before the
//   next goes, so that the target is never more than a batch behind.
// KWin offers the protocol only to a program that an installed desktop file
// names (X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input, Exec= its
// absolute path).

#include <chrono>
#include <memory>
#include <string>

#include "Keyboard.h"

namespace tarn::kwin {

class FakeInputKeyboard : public tarn::Keyboard {
  public:
    enum class Refusal { None, NoDisplay, NoScripting, NotGranted };

    // Connects to `display` (nullptr: $WAYLAND_DISPLAY) and the session bus
    // (`busAddress`, nullptr: the session's), with `configHome` as the folder
    // KWin reads kxkbrc from (nullptr: $XDG_CONFIG_HOME or ~/.config). Puts
    // back what a killed run left in the keyboard configuration. Null, with
    // the reason in `refusal`, when it cannot type.
    static std::unique_ptr<FakeInputKeyboard> connect(const char* display, const char* busAddress,
                                                      const char* configHome, Refusal& refusal);
    ~FakeInputKeyboard() override;
    FakeInputKeyboard(const FakeInputKeyboard&) = delete;
    FakeInputKeyboard& operator=(const FakeInputKeyboard&) = delete;

    void type(const KeySequence& keys) override;
    void setStopKey(StopKey* stop) override;
    void restoreLayout() override;
    void restoreLayoutIfIdle(std::chrono::milliseconds idle) override;

    class Port;

  private:
    explicit FakeInputKeyboard(std::unique_ptr<Port> port);
    std::unique_ptr<Port> port_;
};

}  // namespace tarn::kwin
