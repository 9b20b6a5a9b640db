// SPDX-License-Identifier: GPL-3.0-or-later
// The macro editor recording on the test display, with the hook the tarn
// program gives it on X: writes "ready" once its window is active and
// recording, "text:" and the text at every change, and, after a line "stop"
// on standard input, the whole text and a line "END".

#include <QApplication>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>
#include <cstdio>
#include <string>

#include "EditorText.h"
#include "HeldKeys.h"
#include "RecorderDesktop.h"
#include "Settings.h"
#include "frmMacroEditor.h"

using tarn::editor::frmMacroEditor;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir settings;
    if (!settings.isValid()) return 1;
    tarn::setSettingsFolder(settings.path());
    tarn::editor::setHeldKeysHook([](bool on) {
        auto* native = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        return native && tarn::x11::reportHeldKeysAsPresses(native->connection(), on);
    });

    frmMacroEditor form;
    form.Load();
    form.show();
    form.activateWindow();
    form.textArea()->setFocus();

    QTimer waitForFocus;
    waitForFocus.setInterval(10);
    QObject::connect(&waitForFocus, &QTimer::timeout, [&] {
        if (!form.isActiveWindow() || !form.textArea()->hasFocus()) {
            form.activateWindow();
            form.textArea()->setFocus();
            return;
        }
        waitForFocus.stop();
        form.mnuMacroRecord_Click();
        std::fputs("ready\n", stdout);
        std::fflush(stdout);
    });
    waitForFocus.start();

    // Every change of the text while recording, as a line "text:" + the text,
    // so the test knows when the keys it typed have all been taken.
    QObject::connect(form.textArea(), &QPlainTextEdit::textChanged, [&] {
        const QByteArray text = tarn::editor::exactText(*form.textArea()).toUtf8();
        if (text.contains('\n')) return;
        std::fputs("text:", stdout);
        std::fwrite(text.data(), 1, std::size_t(text.size()), stdout);
        std::fputs("\n", stdout);
        std::fflush(stdout);
    });

    std::string input;
    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&commands, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            QApplication::exit(1);
            return;
        }
        input.append(buffer, std::size_t(got));
        if (input.find("stop\n") == std::string::npos) return;
        if (form.recording()) form.mnuMacroRecord_Click();
        const QByteArray text = tarn::editor::exactText(*form.textArea()).toUtf8();
        std::fwrite(text.data(), 1, std::size_t(text.size()), stdout);
        std::fputs("\nEND\n", stdout);
        std::fflush(stdout);
        QApplication::exit(0);
    });
    return app.exec();
}
