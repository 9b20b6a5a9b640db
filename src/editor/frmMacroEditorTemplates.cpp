// SPDX-License-Identifier: GPL-3.0-or-later
// The Wizard menu's entries, wired to the templates (WizardTemplates): each
// inserts its template through InsertText.

#include <QAction>

#include "WizardTemplates.h"
#include "frmMacroEditor.h"
#include "modTemplates.h"

namespace tarn::editor {

void frmMacroEditor::connectTemplates() {
    const std::pair<const char*, QString (*)()> plain[] = {
        {"mnuMacroInsertSetfocus", &SetFocusTemplate},
        {"mnuMacroInsertSend", &SendTemplate},
        {"mnuMacroInsertTimeOut", &TimeOutTemplate},
        {"mnuMacroInsertGetWindowID", &GetWindowIDTemplate},
        {"mnuMacroInsertGetProcessID", &GetProcessIDTemplate},
        {"mnuMacroInsertCloseWndow", &CloseWindowTemplate},
        {"mnuMacroInsertKillProcess", &KillProcessTemplate},
        {"mnuMacroInsertShutDownWIndows", &ShutDownWindowsTemplate},
    };
    for (const auto& [name, build] : plain) {
        connect(entry(QLatin1String(name)), &QAction::triggered, this,
                [this, build = build] { insertTemplate(*mDocument, inserter(), build()); });
    }
    connect(entry(QStringLiteral("mnuMacroInsertWait")), &QAction::triggered, this,
            [this] { insertTemplate(*mDocument, inserter(), WaitTemplate(miRunWait)); });
    // Remark is the one entry that leaves the last template as it was.
    connect(entry(QStringLiteral("mnuMacroInsertRem")), &QAction::triggered, this,
            [this] { InsertText(RemarkTemplate()); });
    connect(entry(QStringLiteral("mnuMacroInsertRun")), &QAction::triggered, this,
            [this] { mnuMacroInsertRun_Click(); });
    connect(entry(QStringLiteral("mnuMacroInsertRunExecute")), &QAction::triggered, this,
            [this] { mnuMacroInsertRunExecute_Click(); });
    connect(entry(QStringLiteral("mnuSetDefaultRunWait")), &QAction::triggered, this,
            [this] { mnuSetDefaultRunWait_Click(); });
}

TextInserter frmMacroEditor::inserter() {
    return [this](const QString& psvText) { InsertText(psvText); };
}

void frmMacroEditor::mnuMacroInsertRun_Click() {
    insertRunTemplate(*mDocument, inserter(), *cdlgMac, miRunWait);
}

void frmMacroEditor::mnuMacroInsertRunExecute_Click() {
    insertRunExecuteTemplate(*mDocument, inserter(), *cdlgMac, miRunWait);
}

void frmMacroEditor::mnuSetDefaultRunWait_Click() {
    AskRunWait();
}

void frmMacroEditor::AskRunWait() {
    askRunWait(*this, *txtEdit, miRunWait);
}

}  // namespace tarn::editor
