// SPDX-License-Identifier: GPL-3.0-or-later
#include "OnScreen.h"

#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace tarn {

namespace {

// What the window manager adds around the client area of poWindow.
QMargins frameMargins(const QWidget* poWindow) {
    const QRect frame = poWindow->frameGeometry();
    const QRect client = poWindow->geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                    frame.right() - client.right(), frame.bottom() - client.bottom());
}

}  // namespace

QPoint fitInto(const QRect& poFrame, const QRect& poArea) {
    // Past the right or bottom edge first, then the left and top edges win.
    const int left =
        std::max(poArea.left(), std::min(poFrame.left(), poArea.right() + 1 - poFrame.width()));
    const int top =
        std::max(poArea.top(), std::min(poFrame.top(), poArea.bottom() + 1 - poFrame.height()));
    return QPoint(left, top);
}

QRect screenAreaFor(const QRect& poFrame) {
    const QScreen* best = nullptr;
    long long bestArea = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect shared = screen->geometry().intersected(poFrame);
        const long long area = static_cast<long long>(shared.width()) * shared.height();
        if (area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    if (!best) best = QGuiApplication::primaryScreen();
    return best ? best->availableGeometry() : QRect();
}

void keepOnScreen(QWidget* poWindow, const QWidget* poFramed) {
    if (!poWindow) return;
    QMargins margins = frameMargins(poWindow);
    if (margins.isNull() && poFramed) margins = frameMargins(poFramed->window());
    // pos() of a top-level window is the top-left corner of its frame.
    QRect frame(poWindow->pos(), poWindow->size().grownBy(margins));
    const QRect area = screenAreaFor(frame);
    if (area.isEmpty()) return;
    if (poWindow->minimumSize() != poWindow->maximumSize() &&
        (frame.width() > area.width() || frame.height() > area.height())) {
        const QSize client = poWindow->size()
                                 .boundedTo(area.size().shrunkBy(margins))
                                 .expandedTo(poWindow->minimumSize());
        poWindow->resize(client);
        frame.setSize(client.grownBy(margins));
    }
    const QPoint corner = fitInto(frame, area);
    if (corner != poWindow->pos()) poWindow->move(corner);
}

}  // namespace tarn
