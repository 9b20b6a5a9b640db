// SPDX-License-Identifier: GPL-3.0-or-later
// The notification-area icon of automatic mode and its pop-up menu. The menu
// is not shown from the click itself but by the window's 100 ms timer, so a
// click during a run is answered at the next tick, inside the interpreter's
// yields, like every other event.
#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

#include "Icons.h"
#include "frmTarn.h"

namespace tarn {

namespace {

// The mouse button of a tray activation, as the Button argument gives it.
int buttonOf(QSystemTrayIcon::ActivationReason piReason) {
    switch (piReason) {
        case QSystemTrayIcon::Context:
            return 2;
        case QSystemTrayIcon::MiddleClick:
            return 4;
        default:
            return 1;
    }
}

}  // namespace

void frmTarn::createTray() {
    mnuSysTrayPopup = new QMenu(QStringLiteral("System Menu"), this);
    mnuSysTrayPopup->setObjectName(QStringLiteral("mnuSysTrayPopup"));
    QAction* close = mnuSysTrayPopup->addAction(QStringLiteral("&Close"));
    close->setObjectName(QStringLiteral("mnuSysTrayPopupClose"));
    connect(close, &QAction::triggered, this, [this] { mnuSysTrayPopupClose_Click(); });
}

void frmTarn::setInTray(bool pbInTray) {
    if (!pbInTray) {
        if (sysTray) sysTray->hide();
        return;
    }
    // Where the desktop has no notification area the run still runs, only
    // without an icon to stop it by.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    if (!sysTray) {
        sysTray = new QSystemTrayIcon(tarnIcon(TarnIcon::Program), this);
        sysTray->setObjectName(QStringLiteral("sysTray"));
        sysTray->setToolTip(QStringLiteral(" Tarn "));
        connect(sysTray, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason piReason) {
                    sysTray_MouseDown(buttonOf(piReason), 0);
                });
    }
    sysTray->show();
}

void frmTarn::sysTray_MouseDown(int, long) {
    mbTrayClicked = true;
}

void frmTarn::timer_Timer() {
    if (!mbTrayClicked) return;
    mbTrayClicked = false;
    mnuSysTrayPopup->popup(QCursor::pos());
}

void frmTarn::mnuSysTrayPopupClose_Click() {
    mRun.closeFromTray();
}

}  // namespace tarn
