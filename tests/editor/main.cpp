// Runs the editor tests under an offscreen QApplication, with
// the standard folders in Qt's test mode and the settings store in a temporary
// folder, so that nothing here can touch the user's real settings or files.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "Settings.h"

int main(int argc, char** argv) {
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
