// SPDX-License-Identifier: GPL-3.0-or-later
// The Search menu and the find dialog it owns: one dialog for the editing
// window, made at its first use, hidden between uses, closed for good when
// the window unloads.

#include <QAction>

#include "frmFind.h"
#include "frmMacroEditor.h"

namespace tarn::editor {

void frmMacroEditor::connectSearch() {
    connect(entry(QStringLiteral("mnuSearchFind")), &QAction::triggered, this,
            [this] { mnuSearchFind_Click(); });
    connect(entry(QStringLiteral("mnuSearchFindNext")), &QAction::triggered, this,
            [this] { mnuSearchFindNext_Click(); });
    connect(this, &frmMacroEditor::formLoaded, this, [this] {
        if (mfrmFind) mfrmFind->setUnloadFind(false);
    });
    connect(this, &frmMacroEditor::formUnloading, this, [this] {
        if (mbLogMode || !mfrmFind) return;
        mfrmFind->setUnloadFind(true);
        mfrmFind->close();
        delete mfrmFind;
        mfrmFind = nullptr;
    });
}

void frmMacroEditor::mnuSearchFind_Click() {
    if (!mfrmFind) mfrmFind = new frmFind(txtEdit, this);
    mfrmFind->showFindReplace();
}

void frmMacroEditor::mnuSearchFindNext_Click() {
    // Find Next never reports a failure of its own.
    try {
        if (!mfrmFind) mfrmFind = new frmFind(txtEdit, this);
        mfrmFind->findNext();
    } catch (...) {
    }
}

}  // namespace tarn::editor
