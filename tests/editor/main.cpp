// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the editor tests offscreen, with the standard folders in Qt's test mode
// and the settings store in a temporary folder, so that nothing here can touch
// the user's real settings or files; with --x11 on a private X display, for
// what only X has (the selection the middle button pastes).
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstring>
#include <memory>

#include "Settings.h"
#include "XSession.h"

int main(int argc, char** argv) {
    std::unique_ptr<tarn::testing::XSession> x11;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--x11") != 0) continue;
        x11 = std::make_unique<tarn::testing::XSession>();
        qputenv("DISPLAY", QByteArray::fromStdString(x11->display()));
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    // Also when the test list is taken at build time, outside CTest's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    // Printing never reaches the machine's own CUPS: every client of this
    // program asks a socket in a folder of its own, where a test that needs a
    // printer starts its private scheduler (PrivateCups); until then there is
    // no printer at all.
    QTemporaryDir cups;
    if (!cups.isValid()) return 1;
    qputenv("CUPS_SERVER", QFile::encodeName(cups.filePath(QStringLiteral("cups.sock"))));
    QApplication app(argc, argv);
    QTemporaryDir settings;
    if (!settings.isValid()) return 1;
    tarn::setSettingsFolder(settings.path());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
