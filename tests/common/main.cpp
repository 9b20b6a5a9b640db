// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the tests of the shared services under an offscreen QApplication, with
// the standard folders in Qt's test mode and the settings store in a temporary
// folder, so that nothing here can touch the user's real settings or files.

#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

#include "OffscreenDpi.h"
#include "Settings.h"

int main(int argc, char** argv) {
    // Also when the test list is taken at build time, outside CTest's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const OffscreenDpi dpi = applyDpiArgument(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    if (!dpi.applied()) {
        std::fprintf(stderr, "the screen does not have the %d DPI asked for\n", dpi.dpi);
        return 1;
    }
    QTemporaryDir settings;
    if (!settings.isValid()) return 1;
    tarn::setSettingsFolder(settings.path());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
