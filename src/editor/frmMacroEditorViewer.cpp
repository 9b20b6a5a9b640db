// SPDX-License-Identifier: GPL-3.0-or-later
// Viewer mode: the same window showing the trace file read-only, with only
// printing, Exit and Help left of its menus, and the offer to clear a trace
// too large to show.
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QToolBar>

#include "RecoveryCopy.h"
#include "frmMacroEditor.h"

namespace tarn::editor {

void frmMacroEditor::ViewLogMode() {
    const bool wasLogMode = mbLogMode;
    mbLogMode = true;
    mRecovery->stop();
    removeLanguageAids();
    tbToolBar->hide();
    for (const char* name :
         {"mnuFileNew", "mnuFileOpen", "mnuFileSaveAs", "mnuFileSep0", "mnuFileSave"}) {
        entry(QLatin1String(name))->setVisible(false);
    }
    // The entries are hidden with their menus so that none of their shortcuts
    // reaches a hidden command.
    for (const char* name : {"mnuEdit", "mnuSearch", "mnuMacro"}) {
        QMenu* hidden = menu(QLatin1String(name));
        hidden->menuAction()->setVisible(false);
        for (QAction* action : hidden->findChildren<QAction*>()) {
            if (action != hidden->menuAction()) action->setVisible(false);
        }
    }
    txtEdit->setReadOnly(true);
    // Still a caret to place and text to select.
    txtEdit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (!mbLoaded) {
        Load();  // reads the "LogViewer" geometry
    } else if (!wasLogMode || !isVisible()) {
        // A viewer on the screen stays where the user has put it.
        readGeometry();
    }
}

void frmMacroEditor::offerToClearTrace(const QString& psvPath) {
    const QString text = QStringLiteral(
        "The trace file is too large for the viewer.\r\n\r\n"
        "You will have to open the trace file with a different program or clear the trace "
        "file.\r\n\r\nClear trace file now?");
    if (ask(QStringLiteral("Tarn trace file"), text)) {
        // A trace that cannot be deleted stays; the next view says so again.
        QFile::remove(psvPath);
    }
}

}  // namespace tarn::editor
