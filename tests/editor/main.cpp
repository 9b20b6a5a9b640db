// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the editor tests offscreen, with the standard folders in Qt's test mode
// and the settings store in a temporary folder, so that nothing here can touch
// the user's real settings or files; with --x11 on a private X display, for
// what only X has (the selection the middle button pastes).
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstring>
#include <memory>

#include "OffscreenDpi.h"
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
    QStandardPaths::setTestModeEnabled(true);
    // Printing never reaches the machine's own CUPS: every client of this
    // program asks a socket in a folder of its own, where a test that needs a
    // printer starts its private scheduler (PrivateCups); until then there is
    // no printer at all.
    QTemporaryDir cups, settings, state;
    if (!cups.isValid() || !settings.isValid() || !state.isValid()) return 1;
    // The recovery copies of unsaved text go there too.
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    qputenv("CUPS_SERVER", QFile::encodeName(cups.filePath(QStringLiteral("cups.sock"))));
    tarn::setSettingsFolder(settings.path());
    return runOffscreenTests(argc, argv);
}
