// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stop key on Plasma (Wayland): Pause registered with KGlobalAccel (in
// KWin) as the shortcut of the component "tarn" while a run is under way, so
// that KWin hands the key to Tarn instead of the focused window. Disarmed,
// the shortcut is taken away again, so that nothing stays in the user's
// shortcuts. The press arrives as the component's globalShortcutPressed
// signal; a filter on the bus connection's own thread notes it at once and
// makes descriptor() readable, whether or not anyone iterates the bus.

#include <memory>

#include "StopKey.h"

namespace tarn::kwin {

class GlobalAccelStopKey : public tarn::StopKey {
  public:
    // Null when the session bus (`busAddress`, nullptr: the session's) or
    // KWin on it cannot be reached.
    static std::unique_ptr<GlobalAccelStopKey> connect(const char* busAddress = nullptr);
    ~GlobalAccelStopKey() override;
    GlobalAccelStopKey(const GlobalAccelStopKey&) = delete;
    GlobalAccelStopKey& operator=(const GlobalAccelStopKey&) = delete;

    bool arm() override;
    void disarm() override;
    bool pressed() override;
    int descriptor() const override;
    void suspend() override;
    void resume() override;

    struct State;

  private:
    explicit GlobalAccelStopKey(std::unique_ptr<State> state);
    std::unique_ptr<State> d_;
};

}  // namespace tarn::kwin
