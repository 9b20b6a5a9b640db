// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "--dpi=N" on a test program's command line: the offscreen screen gets N
// logical DPI and the toolkit's own high-DPI scaling is switched off, so that
// window geometry in twips and the fonts are both counted in N-DPI pixels, as
// a desktop at that DPI has them. Call before the QApplication is made; the
// argument is taken out of argv. The screen's description lives in a file
// that is removed with the returned object.

#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QScreen>
#include <QTemporaryFile>
#include <cstdio>
#include <cstring>
#include <memory>

struct OffscreenDpi {
    std::unique_ptr<QTemporaryFile> screenFile;
    int dpi = 0;  // 0: the platform's own

    // False when a DPI was asked for and the screen does not have it.
    bool applied() const {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return dpi == 0 || (screen && qRound(screen->logicalDotsPerInchY()) == dpi);
    }
};

inline OffscreenDpi applyDpiArgument(int& argc, char** argv) {
    OffscreenDpi result;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--dpi=", 6) != 0) continue;
        result.dpi = std::atoi(argv[i] + 6);
        for (int j = i; j + 1 < argc; ++j)
            argv[j] = argv[j + 1];
        --argc;
        result.screenFile = std::make_unique<QTemporaryFile>();
        if (!result.screenFile->open()) break;
        result.screenFile->write(
            R"({"screens": [{"name": "screen", "x": 0, "y": 0, "width": 1920, "height": 1200,)"
            R"( "logicalBaseDpi": 96, "logicalDpi": )" +
            QByteArray::number(result.dpi) + "}]}");
        result.screenFile->flush();
        qputenv("QT_QPA_PLATFORM",
                "offscreen:configfile=" + result.screenFile->fileName().toLocal8Bit());
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
        break;
    }
    return result;
}

// The main of a test program of windows: its tests run offscreen (also when
// the test list is taken at build time, outside CTest's environment) at the
// DPI asked for, inside one QApplication.
inline int runOffscreenTests(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const OffscreenDpi dpi = applyDpiArgument(argc, argv);
    QApplication app(argc, argv);
    if (!dpi.applied()) {
        std::fprintf(stderr, "the screen does not have the %d DPI asked for\n", dpi.dpi);
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
