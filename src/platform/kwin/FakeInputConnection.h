// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One Wayland connection to KWin for keystrokes: org_kde_kwin_fake_input,
// when KWin grants it; the first seat's keyboard, through which KWin hands
// every client its keymap (again whenever the layouts change); and
// org_kde_kwin_keystate, which tells whether Caps Lock is on. Every wait is
// bounded. Internal to the KWin keyboard.

#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct wl_display;

namespace tarn::kwin {

class FakeInputConnection {
  public:
    // Null when `display` (nullptr: $WAYLAND_DISPLAY) cannot be reached or
    // gives no keymap in time.
    static std::unique_ptr<FakeInputConnection> connect(const char* display);
    ~FakeInputConnection();
    FakeInputConnection(const FakeInputConnection&) = delete;
    FakeInputConnection& operator=(const FakeInputConnection&) = delete;

    // Whether KWin offers fake input to this program.
    bool granted() const;
    // The latest keymap KWin sent; its number grows with each.
    xkb_keymap* keymap() const { return keymap_; }
    std::uint64_t keymapNumber() const { return keymapNumber_; }

    // Whether Caps Lock is on, as KWin tells now; nothing when it does not.
    std::optional<bool> capsLocked();

    // `key` an XKB keycode.
    void key(std::uint32_t key, bool pressed);
    bool flush();
    // Handles events until KWin has answered a sync request (false on
    // time-out or a lost connection), or until `done()` holds.
    bool roundtrip(std::chrono::milliseconds timeout = kAnswerTimeout);
    bool dispatchUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    bool broken() const;

    static constexpr std::chrono::milliseconds kAnswerTimeout{3000};

    struct Globals;

  private:
    FakeInputConnection() = default;

    wl_display* display_ = nullptr;
    std::unique_ptr<Globals> globals_;
    xkb_context* context_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    std::uint64_t keymapNumber_ = 0;
    std::optional<bool> capsLocked_;
};

}  // namespace tarn::kwin
