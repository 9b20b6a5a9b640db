// SPDX-License-Identifier: GPL-3.0-or-later
#include "Recording.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QVariant>
#include <functional>
#include <utility>

#include "Help.h"
#include "KeyRecorder.h"
#include "RecorderDesktop.h"

namespace tarn::editor {

namespace {

HeldKeysHook& heldKeysHook() {
    static HeldKeysHook hook;
    return hook;
}

// Answers for a widget, while `off` says so, that it takes no input method:
// the input method then hands its keys on as they come.
class InputMethodOff : public QObject {
  public:
    InputMethodOff(QWidget* widget, std::function<bool()> off)
        : QObject(widget), off_(std::move(off)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::InputMethodQuery || !off_()) return false;
        auto* query = static_cast<QInputMethodQueryEvent*>(event);
        const auto* widget = static_cast<QWidget*>(watched);
        for (int bit = 0; bit < 32; ++bit) {
            const auto asked = Qt::InputMethodQuery(int(query->queries() & (1u << bit)));
            if (asked == 0) continue;
            query->setValue(
                asked, asked == Qt::ImEnabled ? QVariant(false) : widget->inputMethodQuery(asked));
        }
        query->accept();
        return true;
    }

  private:
    std::function<bool()> off_;
};

}  // namespace

void setHeldKeysHook(HeldKeysHook poHook) {
    heldKeysHook() = std::move(poHook);
}

Recording::Recording(QPlainTextEdit& poText, TextInserter poInsert)
    : mInsert(std::move(poInsert)), mRecorder(std::make_unique<KeyRecorder>()) {
    mInputMethodOff = new InputMethodOff(&poText, [this] { return mbOn; });
    poText.installEventFilter(mInputMethodOff);
}

Recording::~Recording() {
    delete mInputMethodOff;
}

void Recording::toggle() {
    mbOn = !mbOn;
    if (mbOn) {
        // F1 is a key to record now, not a call for help.
        setHelpFile(QString());
        // Keys held while recording was off are not the recording's.
        mRecorder->keysUp();
        mRecorder->setHeldKeysAsPresses(heldKeysHook() && heldKeysHook()(true));
        mInsert(QStringLiteral("Send \""));
    } else {
        setHelpFile(programHelpFile());
        if (heldKeysHook()) heldKeysHook()(false);
        mInsert(QStringLiteral("\"\r\n"));
    }
    // The input method learns at once whether the text area takes it.
    QGuiApplication::inputMethod()->update(Qt::ImEnabled);
}

bool Recording::take(QEvent* poEvent) {
    if (!mbOn) return false;
    QString written;
    switch (poEvent->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            written = mRecorder->key(RecorderKey::of(*static_cast<QKeyEvent*>(poEvent)));
            break;
        case QEvent::InputMethod:
            // A dead key's character comes composed by the input method.
            written = mRecorder->composed(static_cast<QInputMethodEvent*>(poEvent)->commitString());
            break;
        case QEvent::FocusOut:
            mRecorder->keysUp();
            return false;
        default:
            // The shortcut override: no menu shortcut fires while recording.
            return true;
    }
    if (!written.isEmpty()) mInsert(written);
    return true;
}

}  // namespace tarn::editor
