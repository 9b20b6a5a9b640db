// SPDX-License-Identifier: GPL-3.0-or-later
// The player's buttons into the macro editor: Find Macro chooses the file with
// the editor's file dialog, Macro New / Edit opens the editor on the file box's
// file or on an empty text, View Trace File shows the trace in the viewer.
// None of them reports a failure: the editor reports its own file problems.
#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QToolButton>

#include "CommonDialog.h"
#include "Failure.h"
#include "frmMacroEditor.h"
#include "frmTarn.h"
#include "modGlobal.h"

namespace tarn {

namespace {

// The hourglass while a file loads; the pointer comes back on every path.
class Hourglass {
  public:
    Hourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~Hourglass() { QApplication::restoreOverrideCursor(); }
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;
};

void bringUp(editor::frmMacroEditor& poWindow) {
    if (poWindow.isMinimized()) poWindow.showNormal();
    poWindow.show();
    poWindow.raise();
    poWindow.activateWindow();
}

}  // namespace

void frmTarn::connectEditorButtons() {
    connect(cmdMacro, &QToolButton::clicked, this, [this] { cmdMacro_Click(); });
    connect(cmdEdit, &QToolButton::clicked, this, [this] { cmdEdit_Click(); });
    connect(cmdViewTraceFile, &QToolButton::clicked, this, [this] { cmdViewTraceFile_Click(); });
    editor::frmMacroEditor::setSavedPathHook(
        [this](const QString& psvPath) { txtMacroFile->setText(psvPath); });
}

editor::frmMacroEditor& frmTarn::macroEditor() {
    if (!mfrmEditor) mfrmEditor = std::make_unique<editor::frmMacroEditor>();
    mfrmEditor->Load();
    return *mfrmEditor;
}

void frmTarn::editFile(const QString& psvPath) {
    const QFileInfo file(psvPath);
    txtMacroFile->setText(file.absoluteFilePath());
    if (file.exists()) return cmdEdit_Click();
    // A name that does not exist yet, given on the command line, is a new
    // macro of that name: the first Save writes it there.
    try {
        editor::frmMacroEditor& editor = macroEditor();
        editor.show();
        editor.installRightButtonMenu();
        editor.NewMacroAt(file.absoluteFilePath());
        bringUp(editor);
    } catch (const Failure&) {
    } catch (const std::exception&) {
    }
}

void frmTarn::cmdMacro_Click() {
    try {
        editor::CommonDialog& dialog = macroEditor().dialog();
        const QString file = txtMacroFile->text();
        if (!file.isEmpty()) {
            dialog.setInitDir(QString::fromStdString(GetPath(file.toStdString())));
            dialog.setFileName(file);
        }
        dialog.setFlags(editor::CommonDialog::kFileDialogFlags);
        dialog.setDialogTitle(QStringLiteral("Find Macro"));
        dialog.setFilter(QStringLiteral("Macros (*.mcr)|*.mcr|All Files(*.*)|*.*"));
        dialog.ShowOpen();
        txtMacroFile->setText(dialog.FileName());
    } catch (const Failure&) {
        // Cancelled or failed: the file box keeps its text.
    } catch (const std::exception&) {
    }
}

void frmTarn::cmdEdit_Click() {
    try {
        editor::frmMacroEditor& editor = macroEditor();
        const QString file = txtMacroFile->text();
        if (!file.isEmpty()) {
            // The window comes first; a large file then fills it while it answers.
            editor.show();
            editor.installRightButtonMenu();
            bringUp(editor);
            bool opened = false;
            {
                Hourglass hourglass;
                opened = editor.OpenMacro(file);
            }
            // Closed while the file went in: the user is done with it, and an
            // empty window brought back would be news to nobody.
            if (!opened && !editor.loaded()) return;
            // After a failed run of this file the caret waits on the failing line.
            if (opened && failedLine() > 0 && file == QString::fromStdString(mRun.failedFile()))
                editor.GoToLine(failedLine());
        } else {
            editor.show();
            editor.installRightButtonMenu();
            editor.mnuFileNew_Click();
        }
        bringUp(editor);
    } catch (const Failure&) {
    } catch (const std::exception&) {
    }
}

void frmTarn::cmdViewTraceFile_Click() {
    try {
        if (!mfrmViewer) mfrmViewer = std::make_unique<editor::frmMacroEditor>();
        mfrmViewer->ViewLogMode();
        // The viewer has reported a missing or oversized trace itself.
        if (mfrmViewer->OpenMacro(traceFilePath())) bringUp(*mfrmViewer);
    } catch (const Failure&) {
    } catch (const std::exception&) {
    }
}

void frmTarn::closeEditorWindows() {
    if (mfrmEditor) mfrmEditor->Unload();
    if (mfrmViewer) mfrmViewer->Unload();
}

}  // namespace tarn
