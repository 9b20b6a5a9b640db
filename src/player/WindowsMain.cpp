// SPDX-License-Identifier: GPL-3.0-or-later
// The entry of the windows' module (WindowsStart.h).
#include <QApplication>
#include <QGuiApplication>

#include "Icons.h"
#include "LinuxPlatform.h"
#include "Program.h"
#include "RecorderDesktop.h"
#include "WindowsStart.h"

extern "C" __attribute__((visibility("default"))) const char tarn_windows_build[] =
    TARN_BUILD_TOKEN;

extern "C" __attribute__((visibility("default"))) int tarn_windows_main(
    const tarn::WindowsStart& start) {
    QApplication app(*start.qtArgc, start.qtArgv);
    QApplication::setApplicationName(QStringLiteral("Tarn"));
    QApplication::setApplicationVersion(QStringLiteral(TARN_VERSION));
    QApplication::setWindowIcon(tarn::tarnIcon(tarn::TarnIcon::Program));
    tarn::LinuxPlatform& platform = *start.platform;
    platform.startHousekeeping();
    if (auto reporter = platform.heldKeysReporter()) {
        // On the toolkit's own connection, which exists by the time anything
        // records.
        tarn::editor::setHeldKeysHook([reporter](bool on) {
            auto* native = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
            return native && reporter(native->connection(), on);
        });
    }
    const tarn::CommandLine& commandLine = *start.commandLine;
    int status = 0;
    if (commandLine.action == tarn::CommandLine::Action::Edit && commandLine.macro) {
        status = tarn::runEditor(platform.platform(), *commandLine.macro);
    } else {
        status = tarn::runPlayer(platform.platform(), commandLine.macro, *start.unattended);
        platform.whenDisplayCloses({});
    }
    return start.finish(status, QGuiApplication::platformName() == QLatin1String("wayland"));
}
