// SPDX-License-Identifier: GPL-3.0-or-later
#include "MacroFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>

#include "CommonDialog.h"
#include "EditorPrompts.h"
#include "EditorText.h"
#include "Failure.h"
#include "MacroDocument.h"

namespace tarn::editor {

namespace {

const QString kMacroFilter = QStringLiteral("Macros (*.mcr)|*.mcr|All Files(*.*)|*.*");
const QString kSaveFilter = QStringLiteral("Macros (*.mcr)|*.mcr");

}  // namespace

MacroFiles::MacroFiles(MacroDocument& poDocument, QPlainTextEdit& poText, EditorPrompts& poUser,
                       CommonDialog& poDialog)
    : mDocument(poDocument),
      mText(poText),
      mUser(poUser),
      mDialog(poDialog),
      mDisk(poDocument, poUser) {}

void MacroFiles::ReportFileError(const QString& psvOperation, const Failure& poFailure) {
    mUser.report(kEditorTitle, psvOperation + QStringLiteral(" - ") +
                                   QString::fromStdString(poFailure.description()) +
                                   QStringLiteral(" - ") + QString::number(poFailure.number()));
}

void MacroFiles::reportOpenFailure(const Failure& poFailure) {
    if (poFailure.number() == kFileNotFound) {
        mUser.report(QStringLiteral("Tarn Open File"),
                     QStringLiteral("There is no data in the file or the file could not be found"));
    } else if (poFailure.number() == kOutOfMemory) {
        ReportFileError(QStringLiteral("Macro file too large to open with the Tarn Macro Editor"),
                        poFailure);
    } else {
        ReportFileError(QStringLiteral("Error during open"), poFailure);
    }
}

void MacroFiles::prepareFileDialog(const QString& psvTitle, const QString& psvFilter) {
    mDialog.setDialogTitle(psvTitle);
    mDialog.setFilter(psvFilter);
    mDialog.setFlags(CommonDialog::kFileDialogFlags);
}

void MacroFiles::startFileDialogWhereTheUserWorks() {
    mDialog.setFileName(QString());
    // The current file's folder, else where the last file dialog was confirmed.
    const QString& current = mDocument.fileName();
    mDialog.setInitDir(current.isEmpty() ? mDialog.LastFolder()
                                         : QFileInfo(current).absolutePath());
}

QString MacroFiles::chooseToOpen(const QString& psvFile) {
    prepareFileDialog(QStringLiteral("Open Macro File"), kMacroFilter);
    if (!psvFile.isEmpty()) return psvFile;
    startFileDialogWhereTheUserWorks();
    mDialog.ShowOpen();
    return mDialog.FileName();
}

bool MacroFiles::read(const QString& psvPath, bool pbOfferCopies, const Fill& poFill,
                      std::vector<StrayByte>& poStrays) {
    const QString copy = pbOfferCopies ? mDisk.offerLeftoverCopy(psvPath) : QString();
    MacroFileText file = ReadMacroFile(copy.isEmpty() ? psvPath : copy);
    if (!poFill(file.text)) return false;
    // The record of line ends is the file's from here on; the text going in
    // was not an edit of it. A copy opened in place of the file is a change
    // of the file, still to be saved over what the disk holds.
    if (!copy.isEmpty()) file.stamp = StampOf(psvPath);
    mDocument.opened(psvPath, std::move(file.format), std::move(file.stamp));
    msvOpenedCopy = copy;
    if (!copy.isEmpty()) mDocument.markDirty();
    poStrays = std::move(file.strays);
    return true;
}

QString MacroFiles::chooseToSave() {
    QString path;
    try {
        prepareFileDialog(QStringLiteral("Save Macro File"), kSaveFilter);
        startFileDialogWhereTheUserWorks();
        mDialog.ShowSave();
        path = mDialog.FileName();
    } catch (const Failure& failure) {
        if (failure.number() != CommonDialog::kCancelError) {
            ReportFileError(QStringLiteral("Error during save"), failure);
        }
        return QString();
    }
    // The old file is not deleted here: the write replaces it only once the
    // new text is safely on disk, so a failed save keeps it.
    if (QFileInfo::exists(path) &&
        !mUser.ask(kEditorTitle, QStringLiteral("Overwrite the existing ") + path)) {
        return QString();
    }
    return path;
}

bool MacroFiles::write(const QString& psvPath) {
    const QString text = exactText(mText);
    if (!mDisk.confirmLongLines(text)) return false;
    if (psvPath == mDocument.fileName() && !mDisk.confirmSaveOver(psvPath)) return false;
    bool widened = false;
    MacroFileFormat format = mDocument.format();
    FileStamp written;
    try {
        widened = WriteMacroFile(psvPath, text, format, &written);
    } catch (const Failure& failure) {
        ReportFileError(QStringLiteral("Error during save"), failure);
        return false;
    }
    if (widened) {
        format.encoding = MacroFileFormat::Encoding::Utf8;
        mUser.report(kEditorTitle,
                     QStringLiteral("Saved in UTF-8: ") + psvPath +
                         QStringLiteral("\r\n\r\nThe file was in the Windows-1252 "
                                        "code page, which has no place for some of the "
                                        "characters it now holds."));
    }
    mDocument.saved(psvPath, std::move(format), std::move(written));
    // The copy's text is safe in a file of the user's choice now.
    if (!msvOpenedCopy.isEmpty()) QFile::remove(msvOpenedCopy);
    msvOpenedCopy.clear();
    return true;
}

void MacroFiles::clear() {
    mText.clear();
    mDocument.cleared();
    msvOpenedCopy.clear();
}

}  // namespace tarn::editor
