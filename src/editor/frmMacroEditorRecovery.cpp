// SPDX-License-Identifier: GPL-3.0-or-later
// The recovery copy of unsaved text (RecoveryCopy) in the window: the copies
// left by editors that are gone are offered when the first editor of a run
// loads, once the opening that loaded it is done.
#include <QPlainTextEdit>
#include <QTimer>

#include "RecoveryCopy.h"
#include "frmMacroEditor.h"

namespace tarn::editor {

void frmMacroEditor::offerLeftTexts() {
    // Offered by the first editor that loads.
    if (RecoveryCopy::leftTextsOffered() || !mbLoaded || mbLogMode) return;
    if (mbOpening || mbLoading) {
        QTimer::singleShot(100, this, [this] { offerLeftTexts(); });
        return;
    }
    RecoveryCopy::offerLeftTexts(
        *this, [this](const LeftText& poLeft) { return restoreLeftText(poLeft); });
}

bool frmMacroEditor::restoreLeftText(const LeftText& poLeft) {
    if (!NewText()) return false;
    const auto fill = [this](const QString& psvText) { return fillTextArea(psvText); };
    if (!mRecovery->restore(poLeft, fill)) return false;
    if (poLeft.fileName.isEmpty()) {
        setWindowTitle(kUntitledCaption);
    } else {
        UpdateTitle();
    }
    UpdateEditMenus();
    watchFile();
    return true;
}

}  // namespace tarn::editor
