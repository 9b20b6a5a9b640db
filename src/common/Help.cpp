// SPDX-License-Identifier: GPL-3.0-or-later
#include "Help.h"

#include <QApplication>
#include <QPointer>
#include <QRect>

#include "HelpTopics.h"
#include "OnScreen.h"
#include "ProgramInfo.h"
#include "modGlobal.h"

namespace tarn {

namespace {

QString& helpFileSetting() {
    static QString file = QStringLiteral("Tarn.hlp");
    return file;
}

QPointer<HelpTopicsWindow>& theWindow() {
    static QPointer<HelpTopicsWindow> window;
    return window;
}

// The one Help Topics window, created at the first call and brought to the front
// at every call. A modal dialog blocks every other window of the program; help
// asked for from such a dialog (F1 in the about box) becomes modal itself, so it
// can be read and closed instead of sitting blocked behind the dialog.
HelpTopicsWindow* openWindow(QWidget* poOwner) {
    if (helpFileSetting().isEmpty()) return nullptr;
    QPointer<HelpTopicsWindow>& window = theWindow();
    if (!window) {
        window = new HelpTopicsWindow;
        // The first time, help opens over the window that asked for it.
        if (poOwner) {
            QRect frame = window->frameGeometry();
            frame.moveCenter(poOwner->window()->frameGeometry().center());
            window->move(frame.topLeft());
        }
        // Centred on a window near a corner of the screen it would hang over the edge.
        keepOnScreen(window, poOwner ? poOwner->window() : nullptr);
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != window) {
        const Qt::WindowModality wanted = modal ? Qt::ApplicationModal : Qt::NonModal;
        if (window->windowModality() != wanted) {
            // Modality can only change while the window is hidden.
            window->hide();
            window->setWindowModality(wanted);
        }
    }
    if (window->isMinimized()) window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace

QString helpFile() {
    return helpFileSetting();
}

void setHelpFile(const QString& psvHelpFile) {
    helpFileSetting() = psvHelpFile;
}

QString programHelpFile() {
    return QString::fromStdString(AddBackslash(programFolder().toStdString())) +
           QStringLiteral("tarn.hlp");
}

bool showHelpTopics(QWidget* poOwner) {
    HelpTopicsWindow* window = openWindow(poOwner);
    if (!window) return false;
    window->showContents();
    return true;
}

bool showHelpIndex(QWidget* poOwner, const QString& psvPartialKey) {
    HelpTopicsWindow* window = openWindow(poOwner);
    if (!window) return false;
    window->showIndex(psvPartialKey);
    return true;
}

QWidget* helpTopicsWindow() {
    return theWindow();
}

}  // namespace tarn
