// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The editor's find and replace dialog: one modeless dialog, owned by the
// editor window, that searches the editor's text area forwards (Down), from
// the top (All) or backwards (Up), with or without regard to letter case, and
// replaces the current selection one match at a time. Closing it only hides
// it, keeping its texts and options, until the editor lets it go for good
// (setUnloadFind(true)).
//
// Laid out in twips (client area 5625 x 1920), fixed size. Object names:
// Label1, txtFind, lblReplace, txtReplace, Frame1 with optDirection_2 "All",
// optDirection_0 "Up", optDirection_1 "Down", Frame2 with chkReplace and
// chkCase, cmdFind (default button), cmdReplace, cmdcancel (Esc); the
// "Cannot find" message box is msgCannotFind.

#include <QDialog>

#include "FindIt.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace tarn::editor {

class frmFind : public QDialog {
    Q_OBJECT
  public:
    // poEdit: the text area searched. poEditorWindow: the window that owns the
    // dialog and gets the focus before every search.
    frmFind(QPlainTextEdit* poEdit, QWidget* poEditorWindow);

    bool UnloadFind() const { return mbUnloadFind; }
    void setUnloadFind(bool pbUnload) { mbUnloadFind = pbUnload; }

    // Search > Find / Replace: shows the dialog with empty texts, direction
    // All and both options cleared, the focus in the find text.
    void showFindReplace();
    // Search > Find Next: searches with the current find text, even while the
    // dialog is hidden; with no find text it is Find / Replace.
    void findNext();

    const FindState& state() const { return mState; }

  public slots:
    void cmdFind_Click();
    void cmdReplace_Click();
    void cmdCancel_Click();

  protected:
    void closeEvent(QCloseEvent* poEvent) override;
    void reject() override;
    bool eventFilter(QObject* poWatched, QEvent* poEvent) override;

  private:
    void Form_Load();
    void layOut();
    void txtFind_Change();
    void chkReplace_Click();
    void optDirection_Click(int piIndex);
    void FindIt();

    // The text area's text as last read, kept up to date through small edits,
    // so that a series of Find Next and Replace reads a large text once.
    const QString& editorText();
    void editorTextChanged(int piPosition, int piRemoved, int piAdded);

    QPlainTextEdit* txtEdit;
    QWidget* mfrmEditor;
    QString msvText;
    bool mbTextStale = true;
    FindState mState;
    bool mbUnloadFind = false;

    QLabel* Label1;
    QLineEdit* txtFind;
    QLabel* lblReplace;
    QLineEdit* txtReplace;
    QGroupBox* Frame1;
    QRadioButton* optDirection[3];
    QGroupBox* Frame2;
    QCheckBox* chkReplace;
    QCheckBox* chkCase;
    QPushButton* cmdFind;
    QPushButton* cmdReplace;
    QPushButton* cmdcancel;
};

}  // namespace tarn::editor
