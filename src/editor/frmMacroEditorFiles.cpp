// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's files: New, Open, Save, Save As and Exit in the window, the
// question whether to save, and the title. The dialogs, the reading and writing
// and their reports are the file unit's (MacroFiles).
//
// A question whose Yes did not save (the save dialog cancelled, the write
// failed) stops what asked it: New, Open and closing keep the text then.
#include <QApplication>
#include <QPlainTextEdit>

#include "CommonDialog.h"
#include "Failure.h"
#include "MacroFiles.h"
#include "RecoveryCopy.h"
#include "frmMacroEditor.h"
#include "modGlobal.h"

namespace tarn::editor {

namespace {

frmMacroEditor::SavedPathHook& savedPathHook() {
    static frmMacroEditor::SavedPathHook hook;
    return hook;
}

bool isCancel(const Failure& poFailure) {
    return poFailure.number() == CommonDialog::kCancelError;
}

}  // namespace

void frmMacroEditor::setSavedPathHook(SavedPathHook poHook) {
    savedPathHook() = std::move(poHook);
}

void frmMacroEditor::ReportFileError(const QString& psvOperation, const Failure& poFailure) {
    mFiles->ReportFileError(psvOperation, poFailure);
}

void frmMacroEditor::UpdateTitle() {
    const QString name = QString::fromStdString(FileNameOnly(mDocument->fileName().toStdString()));
    setWindowTitle(name + (mbLogMode ? QStringLiteral(" - Tarn Trace File Viewer")
                                     : QStringLiteral(" - Tarn Macro Editor")));
}

void frmMacroEditor::ClearEditor() {
    // A file still going in is given up.
    if (mbLoading) mbLoadStopped = true;
    mFiles->clear();
    mRecovery->drop();
    watchFile();
    setWindowTitle(kUntitledCaption);
    UpdateEditMenus();
    entry(QStringLiteral("mnuEditUndo"))->setEnabled(false);
    entry(QStringLiteral("mnuMacroEditMenuUndo"))->setEnabled(false);
}

void frmMacroEditor::mnuFileNew_Click() {
    NewText();
}

bool frmMacroEditor::NewText() {
    if (mDocument->dirty()) {
        // The question comes with the text it is about on the screen.
        if (isMinimized() || !isVisible()) {
            showNormal();
            raise();
            activateWindow();
        }
        if (ask(kEditorTitle, QStringLiteral("Save the current file"))) {
            const bool saved = mDocument->fileName().isEmpty() ? SaveFileAs() : SaveFile();
            if (!saved) return false;
        }
    }
    ClearEditor();
    return true;
}

bool frmMacroEditor::NewMacroAt(const QString& psvFile) {
    if (mbLoading) return false;
    Load();
    if (!NewText()) return false;
    // A file still to be made: its name, and no stamp of a file on disk.
    mDocument->opened(psvFile, MacroFileFormat(), FileStamp());
    UpdateTitle();
    UpdateEditMenus();
    return true;
}

void frmMacroEditor::mnuFileOpen_Click() {
    OpenMacro();
}

void frmMacroEditor::mnuFileSave_Click() {
    SaveFile();
}

void frmMacroEditor::mnuFileSaveAs_Click() {
    SaveFileAs();
}

void frmMacroEditor::mnuFileExit_Click() {
    close();
}

bool frmMacroEditor::OpenMacro(const QString& psvFile) {
    // One file at a time: the window answers while a large one goes in.
    if (mbLoading || mbOpening) return false;
    Load();
    mbOpening = true;
    const std::unique_ptr<bool, void (*)(bool*)> opening(&mbOpening,
                                                         [](bool* flag) { *flag = false; });
    // A Yes whose save did not happen keeps the text: no file replaces it.
    if (!NewText()) return false;
    QString path;
    std::vector<StrayByte> strays;
    try {
        path = mFiles->chooseToOpen(psvFile);
        // A shown window is on the screen before a large file is read.
        if (isVisible()) QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        // Closed or cleared while it went in: the window is as that left it.
        const auto fill = [this](const QString& psvText) { return fillTextArea(psvText); };
        if (!mFiles->read(path, !mbLogMode, fill, strays)) return false;
    } catch (const Failure& failure) {
        // The window stays as New left it.
        if (isCancel(failure)) return false;
        // A viewer on screen does not stay as an empty editor's window.
        if (mbLogMode && isVisible()) Unload();
        if (failure.number() == kOutOfMemory && mbLogMode) {
            offerToClearTrace(path);
        } else {
            mFiles->reportOpenFailure(failure);
        }
        return false;
    } catch (const std::bad_alloc&) {
        // The text area could not hold the text: what it took is not the file.
        mFiles->clear();
        if (mbLogMode && isVisible()) Unload();
        if (mbLogMode) {
            offerToClearTrace(path);
        } else {
            mFiles->reportOpenFailure(runtimeFailure(kOutOfMemory));
        }
        return false;
    }
    UpdateTitle();
    UpdateEditMenus();
    watchFile();
    if (!strays.empty()) mFiles->disk().reportStrays(path, strays);
    return true;
}

bool frmMacroEditor::SaveFile() {
    if (mDocument->fileName().isEmpty()) return SaveFileAs();
    return WriteTextFile(mDocument->fileName());
}

bool frmMacroEditor::SaveFileAs() {
    const QString path = mFiles->chooseToSave();
    return !path.isEmpty() && WriteTextFile(path);
}

bool frmMacroEditor::WriteTextFile(const QString& psvPath) {
    if (!mFiles->write(psvPath)) return false;
    mRecovery->drop();
    watchFile();
    UpdateTitle();
    if (savedPathHook()) savedPathHook()(psvPath);
    return true;
}

}  // namespace tarn::editor
