// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The little of sway's IPC (the i3 protocol on $SWAYSOCK) that the Wayland
// window system needs: the process behind each window, which the Wayland
// protocols do not tell. Internal to the Wayland backends.

#include <cstdint>
#include <string>
#include <vector>

#include "Types.h"

namespace tarn::wayland {

// A window as sway's tree lists it.
struct SwayWindow {
    // sway's own number of the window's container: it grows with every
    // window sway maps, so it orders windows by age.
    std::int64_t id = 0;
    ProcessId pid = 0;
    std::string appId;  // the X11 class for XWayland windows
    std::string title;
};

class SwayIpc {
  public:
    // `socket`: the path of sway's IPC socket; nullptr: $SWAYSOCK.
    explicit SwayIpc(const char* socket = nullptr);

    // False without a socket to ask (another compositor).
    bool available() const { return !path_.empty(); }
    // Every window of the tree, workspaces and scratchpad included, oldest
    // first; empty when sway cannot be asked.
    std::vector<SwayWindow> windows() const;

  private:
    std::string path_;
};

}  // namespace tarn::wayland
