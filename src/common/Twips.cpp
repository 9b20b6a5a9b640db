// SPDX-License-Identifier: GPL-3.0-or-later
#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace tarn {

namespace {

constexpr double kTwipsPerInch = 1440.0;
// What a screen-less program (no display yet) assumes: the common desktop DPI.
constexpr double kFallbackDpi = 96.0;

}  // namespace

double logicalDpi(const QWidget* widget, Qt::Orientation direction) {
    const QScreen* screen = widget ? widget->screen() : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return kFallbackDpi;
    const double dpi =
        direction == Qt::Horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY();
    return dpi > 0 ? dpi : kFallbackDpi;
}

int twipsToPixels(double twips, const QWidget* widget, Qt::Orientation direction) {
    const double pixels = twips * logicalDpi(widget, direction) / kTwipsPerInch;
    // A stored geometry can be any number; keep far-off values representable,
    // also when a position and a size are added.
    constexpr double kLimit = 1 << 28;
    if (!std::isfinite(pixels)) return 0;
    return static_cast<int>(std::lround(std::clamp(pixels, -kLimit, kLimit)));
}

double pixelsToTwips(int pixels, const QWidget* widget, Qt::Orientation direction) {
    return pixels * kTwipsPerInch / logicalDpi(widget, direction);
}

}  // namespace tarn
