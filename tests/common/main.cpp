// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the tests of the shared services offscreen, with the standard folders in
// Qt's test mode and the settings store in a temporary folder, so that nothing
// here can touch the user's real settings or files.

#include <QStandardPaths>
#include <QTemporaryDir>

#include "OffscreenDpi.h"
#include "Settings.h"

int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir settings;
    if (!settings.isValid()) return 1;
    tarn::setSettingsFolder(settings.path());
    return runOffscreenTests(argc, argv);
}
