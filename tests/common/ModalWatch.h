// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Deals with a modal window that the code under test opens and waits on: polls
// for QApplication::activeModalWidget() every few milliseconds, hands the first
// one that is not `ignore` to `onModal` (which must close it), and, when none
// turns up within the time limit, closes whatever modal window there is so the
// test cannot hang.

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <functional>

class ModalWatch {
  public:
    ModalWatch(std::function<void(QWidget*)> onModal, QWidget* ignore = nullptr,
               int timeLimitMs = 5000)
        : onModal_(std::move(onModal)), ignore_(ignore), triesLeft_(timeLimitMs / kPollMs) {
        timer_.setInterval(kPollMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }

    bool seen() const { return seen_; }

  private:
    static constexpr int kPollMs = 10;

    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != ignore_ && modal->isVisible()) {
            timer_.stop();
            seen_ = true;
            onModal_(modal);
            return;
        }
        if (--triesLeft_ > 0) return;
        timer_.stop();
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else if (modal)
            modal->close();
    }

    std::function<void(QWidget*)> onModal_;
    QWidget* ignore_;
    int triesLeft_;
    bool seen_ = false;
    QTimer timer_;
};
