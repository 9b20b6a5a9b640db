// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stop key on GNOME Shell: Tarn's Shell extension grabs Pause as a
// global accelerator while a run is armed, so the key does not reach the
// focused window, and sends a D-Bus signal when it is pressed. The signal is
// read as it arrives, on the bus's own thread, and turned into a byte on a
// pipe: descriptor() is readable at once, whatever the program is doing. The
// extension lets the key go when Tarn leaves the bus, killed or not.

#include <atomic>
#include <memory>

#include "ShellConnection.h"
#include "StopKey.h"

namespace tarn::gnome {

class ShellStopKey : public StopKey {
  public:
    // Null when the extension does not answer.
    static std::unique_ptr<ShellStopKey> connect();
    ~ShellStopKey() override;

    bool arm() override;
    void disarm() override;
    bool pressed() override;
    int descriptor() const override { return watch_.pipe[0]; }
    void suspend() override;
    void resume() override;

  private:
    explicit ShellStopKey(std::unique_ptr<ShellConnection> bus);
    bool grab();
    void drain();

  public:
    // What the bus's thread reads and writes.
    struct Watch {
        int pipe[2] = {-1, -1};
        std::atomic<bool> armed{false};
    };

  private:
    std::unique_ptr<ShellConnection> bus_;
    Watch watch_;
    unsigned filter_ = 0;
    bool pressed_ = false;
    bool suspended_ = false;
};

}  // namespace tarn::gnome
