// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tarn's help: HTML pages compiled into the program (and installed under
// share/tarn/help), shown in one Help Topics window with a Contents tab, an
// Index tab (keyword list with a filter box) and the page beside them. Every
// window opens help the same way:
//   showHelpTopics(this)  - the player's Help button, F1 in the player, the find
//                           dialog and the about box, the editor's Help >
//                           Contents and F1 in its text area: the Contents tab;
//   showHelpIndex(this)   - the editor's Help > Index: the Index tab.
// Windows that take F1 through their key preview call showHelpTopics and then
// consume the key, so no control receives it.
//
// The window is created at the first call and kept; later calls bring it to the
// front on the requested tab. It is never closed by the program except with all
// the others. When a modal dialog is up (the about box), help opens modal over
// it, so that it can be used instead of being blocked by that dialog.

#include <QString>

class QWidget;

namespace tarn {

// The application's help file setting. It starts as "Tarn.hlp"; the player sets
// it to programHelpFile() at start-up, and the keystroke recorder clears it
// while it records and sets it back afterwards. While it is empty the help
// calls do nothing (F1 then belongs to whatever is being recorded). The pages
// themselves are always the ones compiled into the program.
QString helpFile();
void setHelpFile(const QString& psvHelpFile);
// AddBackslash(programFolder()) + "tarn.hlp".
QString programHelpFile();

// Opens the Help Topics window on its Contents tab (the "help topics" call).
// poOwner is the calling window (may be null). Returns false when the help
// file setting is empty and nothing was shown.
bool showHelpTopics(QWidget* poOwner);

// Opens the Help Topics window on its Index tab with psvPartialKey in the
// filter box; an empty key shows the whole index (the "help index" call).
bool showHelpIndex(QWidget* poOwner, const QString& psvPartialKey = QString());

// The Help Topics window if it exists (for tests and for closing all windows).
QWidget* helpTopicsWindow();

}  // namespace tarn
