// The editor's files: New, Open, Save, Save As and Exit, the save and
// overwrite questions, the title, and the reports of failed reads and writes.
#include <QApplication>
#include <QFileInfo>
#include <QPlainTextEdit>

#include "CommonDialog.h"
#include "EditorText.h"
#include "Failure.h"
#include "MacroFileIO.h"
#include "frmMacroEditor.h"
#include "modGlobal.h"

namespace tarn::editor {

namespace {

frmMacroEditor::SavedPathHook& savedPathHook() {
    static frmMacroEditor::SavedPathHook hook;
    return hook;
}

const QString kMacroFilter = QStringLiteral("Macros (*.mcr)|*.mcr|All Files(*.*)|*.*");
const QString kSaveFilter = QStringLiteral("Macros (*.mcr)|*.mcr");

bool isCancel(const Failure& poFailure) {
    return poFailure.number() == CommonDialog::kCancelError;
}

}  // namespace

void frmMacroEditor::setSavedPathHook(SavedPathHook poHook) {
    savedPathHook() = std::move(poHook);
}

void frmMacroEditor::ReportFileError(const QString& psvOperation, const Failure& poFailure) {
    report(kEditorTitle, psvOperation + QStringLiteral(" - ") +
                             QString::fromStdString(poFailure.description()) +
                             QStringLiteral(" - ") + QString::number(poFailure.number()));
}

void frmMacroEditor::UpdateTitle() {
    const QString name = QString::fromStdString(FileNameOnly(msvFileName.toStdString()));
    setWindowTitle(name + (mbLogMode ? QStringLiteral(" - Tarn Trace File Viewer")
                                     : QStringLiteral(" - Tarn Macro Editor")));
    mbDirty = false;
    takeUndoCopy();
}

void frmMacroEditor::ClearEditor() {
    // A file still going in is given up.
    if (mbLoading) mbLoadStopped = true;
    txtEdit->clear();
    msvFileName.clear();
    emptyUndoCopy();
    moFormat = MacroFileFormat();
    setWindowTitle(kUntitledCaption);
    UpdateEditMenus();
    entry(QStringLiteral("mnuEditUndo"))->setEnabled(false);
    entry(QStringLiteral("mnuMacroEditMenuUndo"))->setEnabled(false);
    mbDirty = false;
}

void frmMacroEditor::mnuFileNew_Click() {
    if (!mbDirty) {
        ClearEditor();
        return;
    }
    if (!ask(kEditorTitle, QStringLiteral("Save the current file"))) {
        ClearEditor();
        return;
    }
    const bool saved = msvFileName.isEmpty() ? SaveFileAs() : SaveFile();
    if (saved) ClearEditor();
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
    if (mbLoading) return false;
    Load();
    mnuFileNew_Click();
    QString path = psvFile;
    try {
        cdlgMac->setDialogTitle(QStringLiteral("Open Macro File"));
        cdlgMac->setFilter(kMacroFilter);
        cdlgMac->setFlags(CommonDialog::kFileDialogFlags);
        if (path.isEmpty()) {
            cdlgMac->setFileName(QString());
            cdlgMac->ShowOpen();
            path = cdlgMac->FileName();
        }
        // A shown window is on the screen before a large file is read.
        if (isVisible()) QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        MacroFileText file = ReadMacroFile(path);
        // Closed or cleared while it went in: the window is as that left it.
        if (!fillTextArea(file.text)) return false;
        moFormat = file.format;
    } catch (const Failure& failure) {
        // The window stays as New left it.
        if (isCancel(failure)) return false;
        if (failure.number() == kOutOfMemory && mbLogMode) {
            offerToClearTrace(path);
        } else {
            reportOpenFailure(failure);
        }
        return false;
    } catch (const std::bad_alloc&) {
        // The text area could not hold the text: what it took is not the file.
        txtEdit->clear();
        mbDirty = false;
        if (mbLogMode) {
            offerToClearTrace(path);
        } else {
            reportOpenFailure(runtimeFailure(kOutOfMemory));
        }
        return false;
    }
    msvFileName = path;
    UpdateTitle();
    UpdateEditMenus();
    return true;
}

void frmMacroEditor::reportOpenFailure(const Failure& poFailure) {
    if (poFailure.number() == kFileNotFound) {
        report(QStringLiteral("Tarn Open File"),
               QStringLiteral("There is no data in the file or the file could not be found"));
    } else if (poFailure.number() == kOutOfMemory) {
        ReportFileError(QStringLiteral("Macro file too large to open with the Tarn Macro Editor"),
                        poFailure);
    } else {
        ReportFileError(QStringLiteral("Error during open"), poFailure);
    }
}

bool frmMacroEditor::SaveFile() {
    if (msvFileName.isEmpty()) return SaveFileAs();
    return WriteTextFile(msvFileName);
}

bool frmMacroEditor::SaveFileAs() {
    QString path;
    try {
        cdlgMac->setFlags(CommonDialog::kFileDialogFlags);
        cdlgMac->setDialogTitle(QStringLiteral("Save Macro File"));
        cdlgMac->setFilter(kSaveFilter);
        cdlgMac->setFileName(QString());
        cdlgMac->ShowSave();
        path = cdlgMac->FileName();
    } catch (const Failure& failure) {
        if (!isCancel(failure)) ReportFileError(QStringLiteral("Error during save"), failure);
        return false;
    }
    // The old file is not deleted here: the write replaces it only once the
    // new text is safely on disk, so a failed save keeps it.
    if (QFileInfo::exists(path) &&
        !ask(kEditorTitle, QStringLiteral("Overwrite the existing ") + path)) {
        return false;
    }
    return WriteTextFile(path);
}

bool frmMacroEditor::WriteTextFile(const QString& psvPath) {
    bool widened = false;
    try {
        widened = WriteMacroFile(psvPath, exactText(*txtEdit), moFormat);
    } catch (const Failure& failure) {
        ReportFileError(QStringLiteral("Error during save"), failure);
        return false;
    }
    if (widened) {
        moFormat.encoding = MacroFileFormat::Encoding::Utf8;
        report(kEditorTitle,
               QStringLiteral("The file was read in the Windows-1252 code page, which lacks "
                              "characters it now holds; it was saved as UTF-8.\r\n\r\n") +
                   psvPath);
    }
    msvFileName = psvPath;
    UpdateTitle();
    if (savedPathHook()) savedPathHook()(psvPath);
    return true;
}

}  // namespace tarn::editor
