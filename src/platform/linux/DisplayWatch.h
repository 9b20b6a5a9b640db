// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A connection of its own to the desktop's display, never read from, that
// tells when the display has gone (the X server or the compositor ended). A
// program with windows learns it from the toolkit's connection; a batch run
// has none, and a macro waiting a long time touches the display of its
// backends only when its next statement does.

#include <memory>

namespace tarn {

class DisplayWatch {
  public:
    // The X display psvName ($DISPLAY when null), or the Wayland display
    // $WAYLAND_DISPLAY names; nullptr when it cannot be reached.
    static std::unique_ptr<DisplayWatch> x11(const char* psvName);
    static std::unique_ptr<DisplayWatch> wayland();
    ~DisplayWatch();
    DisplayWatch(const DisplayWatch&) = delete;
    DisplayWatch& operator=(const DisplayWatch&) = delete;

    // Whether the other end closed the connection. Never blocks and reads
    // nothing, so whatever the display sends is left where it is.
    bool gone() const;

  private:
    struct Connection;
    explicit DisplayWatch(std::unique_ptr<Connection> poConnection);
    std::unique_ptr<Connection> mConnection;
};

}  // namespace tarn
