// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Held keys reported as repeated presses without releases (XKB's detectable
// auto-repeat) instead of a release and a press at one time stamp per repeat,
// which two real taps in one millisecond also are. The choice belongs to one
// client, so it is made on a connection another library opened: the
// toolkit's. No Xlib or XCB type appears here.

namespace tarn::x11 {

// `connection` is the xcb_connection_t of the client. Asks for the report
// (on) or gives it back (off); returns whether held keys come as presses only
// now.
bool reportHeldKeysAsPresses(void* connection, bool on);

}  // namespace tarn::x11
