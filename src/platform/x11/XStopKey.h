// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The emergency stop on X11: a passive grab of the Pause key on the root
// window, with any modifiers and locks, taken only while a run is under way.
// The grab lives on a connection of its own, which does nothing else, so its
// socket is readable exactly when an event is waiting and an event loop can
// watch it. No Xlib or XCB type appears here.

#include <chrono>
#include <memory>
#include <vector>

#include "StopKey.h"

namespace tarn::x11 {

class XStopKey : public tarn::StopKey {
  public:
    // nullptr: $DISPLAY. Null when the display cannot be opened.
    static std::unique_ptr<XStopKey> connect(const char* display = nullptr);
    ~XStopKey() override;
    XStopKey(const XStopKey&) = delete;
    XStopKey& operator=(const XStopKey&) = delete;

    bool arm() override;
    void disarm() override;
    bool pressed() override;
    int descriptor() const override;
    bool heldElsewhere() const override;
    void suspend() override;
    void resume() override;

  private:
    struct Connection;
    explicit XStopKey(std::unique_ptr<Connection> connection);
    // Grabs Pause; with `quick`, one request per keycode (the retries of a
    // key another program held), else also each combination of modifiers.
    bool grab(bool quick = false);
    void ungrab();
    void drain();
    // While armed without the key: tries again, at most every so often.
    void takeOverWhenFree();

    std::unique_ptr<Connection> d_;
    bool armed_ = false;
    bool suspended_ = false;
    bool pressed_ = false;
    std::chrono::steady_clock::time_point nextTry_{};
};

}  // namespace tarn::x11
