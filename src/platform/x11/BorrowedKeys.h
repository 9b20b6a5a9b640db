// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a run leaves word of the keycodes it has borrowed for characters the
// layout lacks: a property on the root window, "_TARN_BORROWED_KEYS", one
// line per keycode, "HOST PID KEYCODE SYMBOLS" (the keycode's symbols as they
// were before, in the hexadecimal wire form KeySymMaps writes). A run that
// ends in order gives its keycodes back and takes its lines away; one that is
// killed leaves both, and the next run on the display finds the lines of
// processes of this host that no longer exist and puts those keycodes back.
// Every change is made with the server grabbed, so two runs never undo each
// other's lines. Internal to the XTest keystroke backend.

#include <xcb/xcb.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarn::x11 {

class BorrowedKeys {
  public:
    using Symbols = std::vector<std::uint8_t>;

    BorrowedKeys(xcb_connection_t* connection, xcb_window_t root);

    // Notes that this process borrows these keycodes, each with its symbols
    // as found.
    void record(const std::vector<std::pair<xcb_keycode_t, Symbols>>& keycodes);
    // Takes this process's lines of these keycodes away.
    void release(const std::vector<xcb_keycode_t>& keycodes);
    // Takes away the lines of processes of this host that are gone, and
    // returns their keycodes with the symbols to put back.
    std::vector<std::pair<xcb_keycode_t, Symbols>> takeAbandoned();

  private:
    struct Line {
        std::string host;
        long pid = 0;
        xcb_keycode_t keycode = 0;
        Symbols symbols;
    };
    // Reads the lines, lets `change` edit them and writes them back, all with
    // the server grabbed.
    template <class Change>
    void update(Change&& change);
    std::vector<Line> readLines();
    void writeLines(const std::vector<Line>& lines);

    xcb_connection_t* c_;
    xcb_window_t root_;
    xcb_atom_t atom_ = XCB_NONE;
    std::string host_;
    long pid_;
};

}  // namespace tarn::x11
