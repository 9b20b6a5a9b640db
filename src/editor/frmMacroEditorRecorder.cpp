// The keystroke recorder: while "&Recorder On/Off" is checked every key of the
// text area is taken before the text area or a shortcut sees it, turned into
// key notation (KeyRecorder) and inserted at the caret inside the Send
// statement that switching on began. The "Record" toolbar button does the
// same as the menu entry and is the way out, since recording disables the
// menus.

#include <QAction>
#include <QKeyEvent>
#include <QMenu>

#include "Help.h"
#include "KeyRecorder.h"
#include "UsKeyboard.h"
#include "frmMacroEditor.h"

namespace tarn::editor {

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
    setKeyHook([this](QKeyEvent* poEvent) { return recorderKey(poEvent); });
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
        InsertText(QStringLiteral("Send \""));
    } else {
        EnableMenus();
        setHelpFile(programHelpFile());
        InsertText(QStringLiteral("\"\r\n"));
    }
    // Keys gathered for a chord that is not written out yet stay pending.
    entry(QStringLiteral("mnuMacroSep1"))->setVisible(on);
    mnuMacroEditMenu->menuAction()->setVisible(on);
}

bool frmMacroEditor::recorderKey(QKeyEvent* poEvent) {
    if (!recording()) return false;
    switch (poEvent->type()) {
        case QEvent::KeyPress: {
            mRecorder->keyDown(modifierMask(*poEvent));
            // Tab is written at once, as a key released with no modifier:
            // its own release is not counted again.
            if (!poEvent->isAutoRepeat() && usKeyCode(*poEvent) == KeyCodes::kTab) {
                const std::optional<QString> chord = mRecorder->keyUp(KeyCodes::kTab, 0);
                if (chord && !chord->isEmpty()) InsertText(*chord);
            }
            return true;
        }
        case QEvent::KeyRelease: {
            // A held key repeats its press only, as the key table counts it once.
            if (!poEvent->isAutoRepeat()) {
                const int code = usKeyCode(*poEvent);
                if (code != KeyCodes::kTab) {
                    const std::optional<QString> chord =
                        mRecorder->keyUp(code, modifierMask(*poEvent));
                    if (chord && !chord->isEmpty()) InsertText(*chord);
                }
            }
            UpdateEditMenus();
            return true;
        }
        default:
            // The shortcut override: no menu shortcut fires while recording.
            return true;
    }
}

}  // namespace tarn::editor
