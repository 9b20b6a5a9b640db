// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps the program's windows where the user can reach them: wholly inside the
// usable area of one screen (the desktop's panels excluded). A window placed by
// a rule (centred on another window, at a stored position) can otherwise open
// half off the screen when that other window sits near a corner, or when the
// stored position came from a larger screen.

#include <QPoint>
#include <QRect>

class QWidget;

namespace tarn {

// The top-left corner that puts poFrame (a window's outer rectangle, title bar
// and borders included) wholly inside poArea, moved as little as possible. A
// frame larger than the area is put against the area's left or top edge, so
// that its title bar stays in reach.
QPoint fitInto(const QRect& poFrame, const QRect& poArea);

// The usable area of the screen that shows the largest part of poFrame; the
// primary screen's when it lies on none.
QRect screenAreaFor(const QRect& poFrame);

// Moves the top-level poWindow (and shrinks it when it is resizable and larger
// than the screen) so that its frame lies on one screen. Before a window is
// first shown the window manager has not framed it yet; the frame of poFramed,
// a shown window of the program, then stands in for its own.
void keepOnScreen(QWidget* poWindow, const QWidget* poFramed = nullptr);

}  // namespace tarn
