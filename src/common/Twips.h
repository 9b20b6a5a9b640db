// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Window geometry in the program's settings and layout tables is in twips, 1440
// to the inch, converted through the screen's logical DPI (96 DPI: 15 twips to
// a pixel).

#include <Qt>

class QWidget;
class QScreen;

namespace tarn {

// The logical DPI of the screen the widget is on (the primary screen when the
// widget is null or not yet on a screen), along the given direction.
double logicalDpi(const QWidget* widget = nullptr, Qt::Orientation direction = Qt::Horizontal);

// Twips to whole pixels, rounded to the nearest pixel.
int twipsToPixels(double twips, const QWidget* widget = nullptr,
                  Qt::Orientation direction = Qt::Horizontal);
// Pixels to twips (exact, not rounded), for storing window positions.
double pixelsToTwips(int pixels, const QWidget* widget = nullptr,
                     Qt::Orientation direction = Qt::Horizontal);

}  // namespace tarn
