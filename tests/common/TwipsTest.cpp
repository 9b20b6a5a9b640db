// SPDX-License-Identifier: GPL-3.0-or-later
// Twips to pixels through the screen's logical DPI, and back.

#include <gtest/gtest.h>

#include <climits>
#include <limits>

#include "Twips.h"

namespace {

TEST(Twips, AnInchIsTheLogicalDpiAndAPixelRoundTrips) {
    const double dpi = tarn::logicalDpi();
    ASSERT_GT(dpi, 0);
    EXPECT_EQ(tarn::twipsToPixels(1440), static_cast<int>(dpi + 0.5));
    EXPECT_EQ(tarn::twipsToPixels(0), 0);
    EXPECT_EQ(tarn::twipsToPixels(-1440, nullptr, Qt::Vertical),
              -static_cast<int>(tarn::logicalDpi(nullptr, Qt::Vertical) + 0.5));
    for (Qt::Orientation way : {Qt::Horizontal, Qt::Vertical})
        for (int pixels : {0, 1, 7, 15, 96, 350, 1919, -40})
            EXPECT_EQ(tarn::twipsToPixels(tarn::pixelsToTwips(pixels, nullptr, way), nullptr, way),
                      pixels);
}

// Stored geometry can be any single-precision number; none may overflow.
TEST(Twips, FarOffValuesStayRepresentable) {
    for (double twips : {3.4e38, -3.4e38, 1e12, -1e12}) {
        const int pixels = tarn::twipsToPixels(twips);
        EXPECT_EQ(pixels > 0, twips > 0) << twips;
        // A position plus a size must still fit.
        EXPECT_LE(pixels, INT_MAX / 4) << twips;
        EXPECT_GE(pixels, INT_MIN / 4) << twips;
    }
    EXPECT_EQ(tarn::twipsToPixels(std::numeric_limits<double>::quiet_NaN()), 0);
}

}  // namespace
