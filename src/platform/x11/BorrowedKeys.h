// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a run leaves word of the keycodes it has borrowed for characters the
// layout lacks: a property on the root window, "_TARN_BORROWED_KEYS", one
// line per keycode, "HOST PID:START KEYCODE SYMBOLS" (START the process's
// start time, which tells it from a later process with the same number; the
// keycode's symbols as they were before, in the hexadecimal wire form
// KeySymMaps writes). A line "HOST PID:START 0 -" says that the run may hold
// keys down while it types. A run that ends in order gives its keycodes back
// and takes its lines away; one that is killed leaves both, and the next run
// on the display finds the lines of processes of this host that have ended
// and puts those keycodes back, and lets go the keys still down.
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
    // Whether runs other than this one hold borrowed keycodes now.
    bool othersBorrow();
    // Notes that this process types on the display, and takes the note away.
    void recordTypist();
    void releaseTypist();

    struct Abandoned {
        // The keycodes to put back, with their symbols.
        std::vector<std::pair<xcb_keycode_t, Symbols>> keycodes;
        // A run that typed has ended without taking its note away: the keys
        // it held may still be down.
        bool keysMayBeDown = false;
    };
    // Takes away the lines of processes of this host that have ended.
    Abandoned takeAbandoned();

  private:
    // The keycode of a typist's line.
    static constexpr xcb_keycode_t kTypist = 0;
    struct Line {
        std::string host;
        long pid = 0;
        unsigned long long start = 0;  // 0: not known (an older line)
        xcb_keycode_t keycode = 0;
        Symbols symbols;
    };
    bool mine(const Line& line) const;
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
    unsigned long long start_;
};

}  // namespace tarn::x11
