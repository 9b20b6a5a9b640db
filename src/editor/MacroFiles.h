// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The macro's file and the text area that shows it: the file dialogs of Open
// and Save As, reading a file into the text area and writing the text to a
// file, with the questions before a write and the reports of failed reads and
// writes. The window around them does the rest of New, Open and Save (its
// title, menus, the watch of the file, the recovery copy).

#include <QString>
#include <functional>
#include <vector>

#include "DiskQuestions.h"
#include "MacroFileIO.h"

class QPlainTextEdit;

namespace tarn {
class Failure;
}

namespace tarn::editor {

class CommonDialog;
class EditorPrompts;
class MacroDocument;

class MacroFiles {
  public:
    // Puts a file's text into the empty text area; false when that was given up.
    using Fill = std::function<bool(const QString& psvText)>;

    MacroFiles(MacroDocument& poDocument, QPlainTextEdit& poText, EditorPrompts& poUser,
               CommonDialog& poDialog);

    DiskQuestions& disk() { return mDisk; }

    // The file to open: psvFile, or the one the user chooses in the open
    // dialog when it is empty. Throws the dialog's failure (Cancel included).
    QString chooseToOpen(const QString& psvFile);
    // Reads the file (or a copy a save of it cut short left, when
    // pbOfferCopies and the user takes it) into the text area through poFill
    // and records it in the document; bytes of a UTF-8 file that are not
    // UTF-8 go to poStrays. False when poFill gave up; throws the read's failure.
    bool read(const QString& psvPath, bool pbOfferCopies, const Fill& poFill,
              std::vector<StrayByte>& poStrays);
    // The file to save to, chosen in the save dialog (an existing one only
    // when the user agrees to overwrite it); empty when there is none, a
    // failed dialog reported.
    QString chooseToSave();
    // Writes the text to the file in the document's format (widened to UTF-8
    // when the text needs it, which is told) and records it in the document.
    // False when the user stopped it or it failed (reported).
    bool write(const QString& psvPath);
    // Empties the text area and the document (to "Untitled").
    void clear();

    // "op - description - number", to the user.
    void ReportFileError(const QString& psvOperation, const Failure& poFailure);
    // The report of a file that could not be opened.
    void reportOpenFailure(const Failure& poFailure);

  private:
    void prepareFileDialog(const QString& psvTitle, const QString& psvFilter);
    void startFileDialogWhereTheUserWorks();

    MacroDocument& mDocument;
    QPlainTextEdit& mText;
    EditorPrompts& mUser;
    CommonDialog& mDialog;
    DiskQuestions mDisk;
    // A copy left by a save cut short, opened in place of its file; removed
    // once its text is saved.
    QString msvOpenedCopy;
};

}  // namespace tarn::editor
