// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI tests run offscreen (no display needed) inside one QApplication.
#include "../common/OffscreenDpi.h"

int main(int argc, char** argv) {
    // The player closes itself in automatic mode; that must not end the test
    // program's event handling.
    QApplication::setQuitOnLastWindowClosed(false);
    return runOffscreenTests(argc, argv);
}
