// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's pictures: the program icon, the player's buttons and the
// editor's toolbar. Drawn for Tarn, rendered to PNG at build time in several
// sizes and compiled in, so they do not depend on an icon theme or image plugin.

#include <QIcon>

namespace tarn {

enum class TarnIcon {
    Program,    // the window and notification-area icon
    Edit,       // player: Macro New / Edit
    FindMacro,  // player: Find Macro
    ViewTrace,  // player: View Trace File
    Help,       // player: Help
    Start,      // player: Start
    Stop,       // player: Stop
    New,        // editor toolbar: "New"
    Open,       // "Open"
    Save,       // "Save"
    Print,      // "Print"
    Cut,        // "Cut"
    Copy,       // "Copy"
    Paste,      // "Paste"
    Record,     // "Record"
};

// The icon with all its sizes (16, 24, 32, 48, 64, 128 and 256 pixels).
QIcon tarnIcon(TarnIcon piIcon);

}  // namespace tarn
