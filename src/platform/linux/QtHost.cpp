// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtHost.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <thread>

namespace tarn {

void QtHost::yield() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

void QtHost::idle(std::chrono::milliseconds atMost) {
    if (!QCoreApplication::instance()) {
        if (atMost.count() > 0) std::this_thread::sleep_for(atMost);
        return;
    }
    if (atMost.count() <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    // The timer only exists to wake the blocking pass below: whatever arrives
    // first, an event or the timer, ends the pass. A precise timer, because a
    // coarse one may fire up to 5% late and Wait ends on this wake-up.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(atMost);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace tarn
