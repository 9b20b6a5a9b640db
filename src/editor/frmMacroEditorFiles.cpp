// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's files: New, Open, Save, Save As and Exit, the save and
// overwrite questions, the title, the reports of failed reads and writes, and
// the record of each line's end that follows the user's edits.
//
// A question whose Yes did not save (the save dialog cancelled, the write
// failed) stops what asked it: New, Open and closing keep the text then.
#include <QApplication>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>

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
    NewText();
}

bool frmMacroEditor::NewText() {
    if (mbDirty) {
        // The question comes with the text it is about on the screen.
        if (isMinimized() || !isVisible()) {
            showNormal();
            raise();
            activateWindow();
        }
        if (ask(kEditorTitle, QStringLiteral("Save the current file"))) {
            const bool saved = msvFileName.isEmpty() ? SaveFileAs() : SaveFile();
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
    msvFileName = psvFile;
    UpdateTitle();
    UpdateEditMenus();
    return true;
}

void frmMacroEditor::connectLineEnds() {
    QTextDocument* document = txtEdit->document();
    connect(document, &QTextDocument::contentsChange, this,
            [this, document](int piPosition, int piRemoved, int piAdded) {
                const int blocks = document->blockCount();
                // A change of formats alone reports equal lengths and moves no break.
                if (piRemoved == piAdded && blocks == miLineBlocks) return;
                const int first = document->findBlock(piPosition).blockNumber();
                QTextBlock last = document->findBlock(piPosition + piAdded);
                if (!last.isValid()) last = document->lastBlock();
                const int added = std::max(0, last.blockNumber() - first);
                moFormat.replaceLineBreaks(first, added - (blocks - miLineBlocks), added);
                miLineBlocks = blocks;
            });
}

void frmMacroEditor::restartLineEnds() {
    miLineBlocks = txtEdit->document()->blockCount();
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

void frmMacroEditor::prepareFileDialog(const QString& psvTitle, const QString& psvFilter) {
    cdlgMac->setDialogTitle(psvTitle);
    cdlgMac->setFilter(psvFilter);
    cdlgMac->setFlags(CommonDialog::kFileDialogFlags);
}

void frmMacroEditor::startFileDialogWhereTheUserWorks() {
    cdlgMac->setFileName(QString());
    // The current file's folder, else where the last file dialog was confirmed.
    cdlgMac->setInitDir(msvFileName.isEmpty() ? cdlgMac->LastFolder()
                                              : QFileInfo(msvFileName).absolutePath());
}

bool frmMacroEditor::OpenMacro(const QString& psvFile) {
    // One file at a time: the window answers while a large one goes in.
    if (mbLoading) return false;
    Load();
    // A Yes whose save did not happen keeps the text: no file replaces it.
    if (!NewText()) return false;
    QString path = psvFile;
    try {
        prepareFileDialog(QStringLiteral("Open Macro File"), kMacroFilter);
        if (path.isEmpty()) {
            startFileDialogWhereTheUserWorks();
            cdlgMac->ShowOpen();
            path = cdlgMac->FileName();
        }
        // A shown window is on the screen before a large file is read.
        if (isVisible()) QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        MacroFileText file = ReadMacroFile(path);
        // Closed or cleared while it went in: the window is as that left it.
        if (!fillTextArea(file.text)) return false;
        // The record of line ends is the file's from here on; the text going in
        // was not an edit of it.
        moFormat = std::move(file.format);
        restartLineEnds();
    } catch (const Failure& failure) {
        // The window stays as New left it.
        if (isCancel(failure)) return false;
        // A viewer on screen does not stay as an empty editor's window.
        if (mbLogMode && isVisible()) Unload();
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
        if (mbLogMode && isVisible()) Unload();
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
        prepareFileDialog(QStringLiteral("Save Macro File"), kSaveFilter);
        startFileDialogWhereTheUserWorks();
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
        report(kEditorTitle, QStringLiteral("Saved in UTF-8: ") + psvPath +
                                 QStringLiteral("\r\n\r\nThe file was in the Windows-1252 "
                                                "code page, which has no place for some of the "
                                                "characters it now holds."));
    }
    msvFileName = psvPath;
    UpdateTitle();
    if (savedPathHook()) savedPathHook()(psvPath);
    return true;
}

}  // namespace tarn::editor
