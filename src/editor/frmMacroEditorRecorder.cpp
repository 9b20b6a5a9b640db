// SPDX-License-Identifier: GPL-3.0-or-later
// The keystroke recorder: while "&Recorder On/Off" is checked every key of the
// text area is taken before the text area or a shortcut sees it, turned into
// key notation (KeyRecorder) and inserted at the caret inside the Send
// statement that switching on began. The "Record" toolbar button does the
// same as the menu entry and is the way out, since recording disables the
// menus.
//
// While recording the text area takes no input method: the recorder composes
// dead keys itself, in the order the keys went down, where the input method's
// composed text would overtake the keys typed before it at machine speed.

#include <QAction>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QVariant>
#include <functional>
#include <utility>

#include "Help.h"
#include "KeyRecorder.h"
#include "RecorderDesktop.h"
#include "frmMacroEditor.h"

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

void frmMacroEditor::connectRecorder() {
    mRecorder = std::make_unique<KeyRecorder>();
    QAction* record = entry(QStringLiteral("mnuMacroRecord"));
    record->setCheckable(true);
    // Choosing the entry has already flipped its check; the handler decides
    // from the state it had, as the toolbar button's click does.
    connect(record, &QAction::triggered, this, [this, record](bool pbChecked) {
        record->setChecked(!pbChecked);
        mnuMacroRecord_Click();
    });
    setKeyHook([this](QEvent* poEvent) { return recorderKey(poEvent); });
    textArea()->installEventFilter(new InputMethodOff(textArea(), [this] { return recording(); }));
    // A window closed while recording ends its Send statement first, so the
    // text offered for saving is whole and the next load has its menus.
    connect(this, &frmMacroEditor::formUnloading, this, [this] {
        if (recording()) mnuMacroRecord_Click();
    });
}

bool frmMacroEditor::recording() const {
    return entry(QStringLiteral("mnuMacroRecord"))->isChecked();
}

void frmMacroEditor::mnuMacroRecord_Click() {
    QAction* record = entry(QStringLiteral("mnuMacroRecord"));
    const bool on = !record->isChecked();
    record->setChecked(on);
    setToolbarButtonPressed(QStringLiteral("Record"), on);
    if (on) {
        DisableMenus();
        // F1 is a key to record now, not a call for help.
        setHelpFile(QString());
        // Keys held while recording was off are not the recording's.
        mRecorder->keysUp();
        mRecorder->setHeldKeysAsPresses(heldKeysHook() && heldKeysHook()(true));
        InsertText(QStringLiteral("Send \""));
    } else {
        EnableMenus();
        setHelpFile(programHelpFile());
        if (heldKeysHook()) heldKeysHook()(false);
        InsertText(QStringLiteral("\"\r\n"));
    }
    // The input method learns at once whether the text area takes it.
    QGuiApplication::inputMethod()->update(Qt::ImEnabled);
    // Keys gathered for a chord that is not written out yet stay pending.
    entry(QStringLiteral("mnuMacroSep1"))->setVisible(on);
    mnuMacroEditMenu->menuAction()->setVisible(on);
}

bool frmMacroEditor::recorderKey(QEvent* poEvent) {
    if (!recording()) return false;
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
    if (!written.isEmpty()) InsertText(written);
    if (poEvent->type() == QEvent::KeyRelease) UpdateEditMenus();
    return true;
}

}  // namespace tarn::editor
