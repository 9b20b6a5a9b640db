// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI tests run offscreen (no display needed) inside one QApplication.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <cstdio>

#include "../common/OffscreenDpi.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const OffscreenDpi dpi = applyDpiArgument(argc, argv);
    QApplication app(argc, argv);
    if (!dpi.applied()) {
        std::fprintf(stderr, "the screen does not have the %d DPI asked for\n", dpi.dpi);
        return 1;
    }
    // The player closes itself in automatic mode; that must not end the test
    // program's event handling.
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
