// SPDX-License-Identifier: GPL-3.0-or-later
// The keystroke recorder's menu entry and toolbar button, wired to the
// recording of the text area (Recording). The "Record" toolbar button does the
// same as the menu entry and is the way out, since recording disables the
// menus.

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QPlainTextEdit>

#include "Recording.h"
#include "frmMacroEditor.h"

namespace tarn::editor {

void frmMacroEditor::connectRecorder() {
    mRecording = std::make_unique<Recording>(*txtEdit, inserter());
    QAction* record = entry(QStringLiteral("mnuMacroRecord"));
    record->setCheckable(true);
    // Choosing the entry has already flipped its check; the handler decides
    // from the state it had, as the toolbar button's click does.
    connect(record, &QAction::triggered, this, [this, record](bool pbChecked) {
        record->setChecked(!pbChecked);
        mnuMacroRecord_Click();
    });
    setKeyHook([this](QEvent* poEvent) { return recorderKey(poEvent); });
    // A window closed while recording ends its Send statement first, so the
    // text offered for saving is whole and the next load has its menus.
    connect(this, &frmMacroEditor::formUnloading, this, [this] {
        if (recording()) mnuMacroRecord_Click();
    });
}

bool frmMacroEditor::recording() const {
    return mRecording->on();
}

void frmMacroEditor::mnuMacroRecord_Click() {
    const bool on = !recording();
    entry(QStringLiteral("mnuMacroRecord"))->setChecked(on);
    setToolbarButtonPressed(QStringLiteral("Record"), on);
    if (on) {
        DisableMenus();
    } else {
        EnableMenus();
    }
    mRecording->toggle();
    // Keys gathered for a chord that is not written out yet stay pending.
    entry(QStringLiteral("mnuMacroSep1"))->setVisible(on);
    mnuMacroEditMenu->menuAction()->setVisible(on);
}

bool frmMacroEditor::recorderKey(QEvent* poEvent) {
    if (!mRecording->take(poEvent)) return false;
    if (poEvent->type() == QEvent::KeyRelease) UpdateEditMenus();
    return true;
}

}  // namespace tarn::editor
