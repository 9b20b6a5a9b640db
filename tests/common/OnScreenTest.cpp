// SPDX-License-Identifier: GPL-3.0-or-later
// Windows placed by a rule end up wholly on the screen.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "OnScreen.h"

namespace {

TEST(OnScreen, WindowsAreMovedAsLittleAsItTakesAndShrunkWhenResizable) {
    QRect area(0, 30, 800, 570);  // a panel above
    const struct {
        const char* name;
        QRect frame;
        QPoint corner;
    } cases[] = {
        {"inside", {100, 100, 200, 100}, {100, 100}},
        {"past the right edge", {700, 100, 200, 100}, {600, 100}},
        {"past the bottom right corner", {790, 590, 200, 100}, {600, 500}},
        {"above and left", {-50, 0, 200, 100}, {0, 30}},
        {"exactly the area", {0, 30, 800, 570}, {0, 30}},
        {"larger than the area", {300, 300, 1000, 700}, {0, 30}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tarn::fitInto(c.frame, area), c.corner) << c.name;

    // On the screen, a resizable window is also shrunk.
    area = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget resizable;
    resizable.resize(area.width() + 300, area.height() + 300);
    resizable.move(area.topLeft() + QPoint(40, 40));
    tarn::keepOnScreen(&resizable);
    EXPECT_TRUE(area.contains(resizable.frameGeometry()));
}

}  // namespace
