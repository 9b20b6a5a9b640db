// SPDX-License-Identifier: GPL-3.0-or-later
// The editor as the player's Macro New / Edit opens it: the window shown, then
// the file given on the command line opened into it. Runs until it is ended;
// bench/editor_open.py watches it from outside, as it watches the peer editor.
#include <QApplication>
#include <QTemporaryDir>

#include "Settings.h"
#include "frmMacroEditor.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) return 2;
    // The window's geometry is stored: never in the user's settings.
    QTemporaryDir settings;
    tarn::setSettingsFolder(settings.path());
    tarn::editor::frmMacroEditor editor;
    editor.Load();
    editor.show();
    editor.OpenMacro(QString::fromLocal8Bit(argv[1]));
    return QApplication::exec();
}
