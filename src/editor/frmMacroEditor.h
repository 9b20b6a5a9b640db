// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The macro editor window. One instance edits macro files; a second instance,
// switched into viewer mode by ViewLogMode, shows the trace file read-only.
//
// Units: frmMacroEditor.cpp builds the window (menus, toolbar, text area),
// loads, closes and keeps its geometry, and opens help and the about box;
// frmMacroEditorFiles.cpp is New, Open, Save, Save As and Exit with their
// questions and reports; frmMacroEditorLoading.cpp puts an opened file into
// the text area (in pieces, the window answering, for a large one);
// frmMacroEditorEdit.cpp the editing commands, the one-level undo, the
// right-button menu, the toolbar dispatch and the text area's key handling;
// frmMacroEditorViewer.cpp the viewer mode; frmMacroEditorPrint.cpp Print and Printer Setup;
// frmMacroEditorLanguage.cpp the macro language shown in the text area
// (colours, line numbers, lines that a check flags) and going to a line.
//
// Loading: a window is "loaded" (Form_Load has run: geometry read, text
// cleared) by its first use through Load(); closing unloads it (the closing
// steps run, the window hides) and the next use loads it again. The object,
// and with it the window-level state, lives on.
//
// Object names: frmMacroEditor; the menus mnuFile, mnuEdit, mnuSearch, mnuMacro
// ("&Wizard"), mnuMacroOptions, mnuMacroEditMenu (the right-button menu,
// hidden in the menu bar) and mnuHelp are QMenus; every entry (mnuFileNew ...
// mnuHelpAbout, separators included) is a QAction of that name; tbToolBar is
// the toolbar, whose actions are named "tbToolBar" + key ("tbToolBarNew") and
// carry their key as data; txtEdit is the text area.
//
// Messages go through program-wide hooks so tests can answer them; the player
// installs the one hook that receives every saved path.

#include <QMainWindow>
#include <QString>
#include <functional>
#include <map>
#include <memory>

#include "MacroFileIO.h"

class QAction;
class QMenu;
class QPlainTextEdit;
class QToolBar;

namespace tarn {
class Failure;
}

namespace tarn::editor {

class CommonDialog;
class MacroGutter;
class MacroHighlighter;
class frmFind;
class KeyRecorder;

class frmMacroEditor : public QMainWindow {
    Q_OBJECT
  public:
    // A Yes/No question with the question icon; true for Yes. Texts come as
    // composed, line breaks as CR LF.
    using QuestionHook =
        std::function<bool(QWidget* poOwner, const QString& psvTitle, const QString& psvText)>;
    // A report with an OK button and the exclamation icon.
    using ReportHook =
        std::function<void(QWidget* poOwner, const QString& psvTitle, const QString& psvText)>;
    // Receives the full path of every file the editor writes (the player's file box).
    using SavedPathHook = std::function<void(const QString& psvPath)>;
    // Offered every key event of the text area (key press, release and the
    // shortcut override before a press), the text an input method commits and
    // the loss of the focus, before anything else sees them. Returns true when
    // it took the event: the text area and the menus' shortcuts then never see
    // it. The keystroke recorder installs this while it records.
    using KeyHook = std::function<bool(QEvent* poEvent)>;

    // Program-wide; an empty hook goes back to message boxes.
    static void setQuestionHook(QuestionHook poHook);
    static void setReportHook(ReportHook poHook);
    static void setSavedPathHook(SavedPathHook poHook);

    // Window titles and texts the editor shows.
    static const QString kEditorTitle;  // "Tarn Macro Editor"
    static const QString kUntitledCaption;

    explicit frmMacroEditor(QWidget* parent = nullptr);
    ~frmMacroEditor() override;

    // Loads the window if it is not loaded (Form_Load). Every public operation
    // below that needs a loaded window loads it itself.
    void Load();
    bool loaded() const { return mbLoaded; }
    // Closes the window if it is loaded, with the closing steps (a changed text
    // is offered for saving), visible or not.
    void Unload();

    // Files (frmMacroEditorFiles.cpp).
    void mnuFileNew_Click();
    void mnuFileOpen_Click();
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuFileExit_Click();
    // Loads psvFile, or the file the user chooses when it is empty; true when a
    // file was loaded. Runs New first.
    bool OpenMacro(const QString& psvFile = QString());
    // An empty text that Save writes to psvFile, a file that does not exist
    // yet; true unless the text before it was kept. Runs New first.
    bool NewMacroAt(const QString& psvFile);
    bool SaveFile();
    bool SaveFileAs();
    bool WriteTextFile(const QString& psvPath);
    void ClearEditor();
    void UpdateTitle();
    // "op - description - number", OK only, exclamation icon.
    void ReportFileError(const QString& psvOperation, const Failure& poFailure);

    // Editing (frmMacroEditorEdit.cpp).
    void mnuEditUndo_Click();
    void mnuEditCut_Click();
    void mnuEditCopy_Click();
    void mnuEditPaste_Click();
    void mnuEditDelete_Click();
    void mnuEditSelectAll_Click();
    // Replaces the selection with the text (line ends in any form), after
    // taking the undo copy; the caret ends behind it.
    void InsertText(const QString& psvText);
    void SetUndo();
    void UpdateEditMenus();
    // The toolbar's click, by the button's key ("New", "Open", ..., "Record").
    void tbToolBar_ButtonClick(const QString& psvKey);
    // Sets the pressed state of a toolbar button (only "Record" is ever pressed).
    void setToolbarButtonPressed(const QString& psvKey, bool pbPressed);
    // The five top-level menus' Enabled state, for the recorder.
    void DisableMenus();
    void EnableMenus();
    // The right-button menu "&Edit Menu" on this window's text area, installed
    // by the player when it opens the editor and removed when the window unloads.
    void installRightButtonMenu();
    bool rightButtonMenuInstalled() const;
    void setKeyHook(KeyHook poHook) { mKeyHook = std::move(poHook); }

    // Wizard templates (frmMacroEditorTemplates.cpp): every entry inserts its
    // template through InsertText; Run and RunExecute ask for the file first.
    void mnuMacroInsertRun_Click();
    void mnuMacroInsertRunExecute_Click();
    void mnuSetDefaultRunWait_Click();
    // The run wait box; an empty answer or Cancel changes nothing.
    void AskRunWait();

    // The keystroke recorder (frmMacroEditorRecorder.cpp).
    void mnuMacroRecord_Click();
    bool recording() const;

    // Find and replace (frmMacroEditorSearch.cpp). The find dialog is made at
    // its first use; null before.
    void mnuSearchFind_Click();
    void mnuSearchFindNext_Click();
    frmFind* findDialog() const { return mfrmFind; }

    // Viewer mode (frmMacroEditorViewer.cpp).
    void ViewLogMode();

    // Printing (frmMacroEditorPrint.cpp), in the editor and the viewer alike.
    void mnuFilePrint_Click();
    void mnuFilePrinterSetup_Click();

    // The language (frmMacroEditorLanguage.cpp). Puts the caret at the start of
    // line plLine (1-based, clamped to the text) and shows it; the text is not
    // touched. The player uses it to show the line a run failed on.
    void GoToLine(int plLine);
    MacroHighlighter* highlighter() const { return mHighlighter; }
    MacroGutter* gutter() const { return mGutter; }

    // Help (frmMacroEditor.cpp).
    void mnuHelpContents_Click();
    void mnuHelpIndex_Click();
    void mnuHelpAbout_Click();

    // State for the other units of the editor (templates, recorder, find, print).
    QPlainTextEdit* textArea() const { return txtEdit; }
    CommonDialog& dialog() { return *cdlgMac; }
    bool logMode() const { return mbLogMode; }
    bool dirty() const { return mbDirty; }
    const QString& fileName() const { return msvFileName; }
    // The text that Undo would bring back (it rolls the document's history back
    // and forth to read it: for checks, not for every key).
    QString undoText() const;
    // A file is going into the text area (the window answers meanwhile).
    bool loading() const { return mbLoading; }
    const MacroFileFormat& fileFormat() const { return moFormat; }
    qint16 runWait() const { return miRunWait; }
    void setRunWait(qint16 piSeconds) { miRunWait = piSeconds; }
    QString& insertText() { return msvInsert; }
    // A menu entry or menu by its object name (null when there is none).
    QAction* entry(const QString& psvName) const;
    QMenu* menu(const QString& psvName) const;
    QToolBar* toolBar() const { return tbToolBar; }

    // The questions and reports of the editor, through the hooks.
    bool ask(const QString& psvTitle, const QString& psvText);
    void report(const QString& psvTitle, const QString& psvText);

  signals:
    // Form_Load has run (the find dialog resets its unload flag here).
    void formLoaded();
    // The window is unloading, before the text is offered for saving.
    void formUnloading();

  protected:
    void closeEvent(QCloseEvent* poEvent) override;
    bool eventFilter(QObject* poWatched, QEvent* poEvent) override;

  private:
    void createMenus();
    void createToolBar();
    void createTextArea();
    QMenu* addMenu(QMenu* poParent, const char* psvName, const QString& psvCaption);
    QAction* addEntry(QMenu* poMenu, const char* psvName, const QString& psvCaption,
                      const QKeySequence& poShortcut, std::function<void()> poHandler);
    QAction* addSeparator(QMenu* poMenu, const char* psvName);
    void Form_Load();
    void Form_QueryUnload();
    void Form_Unload();
    // Window geometry from the "Editor" or "LogViewer" keys (in twips).
    void readGeometry();
    void writeGeometry();

    // Editing helpers (frmMacroEditorEdit.cpp).
    void txtEdit_Change(int piRemoved, int piAdded);
    bool txtEdit_KeyEvent(QKeyEvent* poEvent);
    void txtEdit_KeyPress(QKeyEvent* poEvent);
    void txtEdit_KeyUp(QKeyEvent* poEvent);
    bool txtEdit_MouseUp(QMouseEvent* poEvent);
    void removeRightButtonMenu();
    // Paste of the given text (the clipboard's, or the X selection's for the
    // middle button).
    void pasteText(const QString& psvText);
    // Sets the whole text; the caret goes to piCaret (clamped to the text).
    void replaceWholeText(const QString& psvText, int piCaret);
    // The one-level undo copy. It is never a copy: the document's own history,
    // cleared whenever the copy is taken, holds what changed since, and Undo
    // rolls it back. The empty copy (after New and Undo) is a flag.
    void takeUndoCopy();
    void emptyUndoCopy();
    void restoreUndoCopy(int piCaret);

    // Loading helper (frmMacroEditorLoading.cpp): puts a file's text into the
    // empty text area, in pieces for a large one; false when the window was
    // closed or cleared meanwhile.
    bool fillTextArea(const QString& psvText);

    // Language helpers (frmMacroEditorLanguage.cpp): on for macros, off in
    // viewer mode, where the text is a trace file.
    void createLanguageAids();
    void removeLanguageAids();
    // Wiring of the Wizard, the recorder and the Search menu to their entries.
    void connectTemplates();
    void connectRecorder();
    void connectSearch();
    // The recorder's look at a key event of the text area while it records.
    bool recorderKey(QEvent* poEvent);

    // Viewer helpers (frmMacroEditorViewer.cpp).
    void offerToClearTrace(const QString& psvPath);

    // Files helpers (frmMacroEditorFiles.cpp): the message for a file that
    // could not be read; New with its question, false when the user chose to
    // save and the text was not saved (the text then stays); the file dialog's
    // settings for Open and Save As; the record of line ends following edits,
    // and its start from the text now in the area.
    void reportOpenFailure(const Failure& poFailure);
    bool NewText();
    void prepareFileDialog(const QString& psvTitle, const QString& psvFilter);
    void startFileDialogWhereTheUserWorks();
    void connectLineEnds();
    void restartLineEnds();

    bool mbLoaded = false;
    bool mbUnloading = false;
    bool mbDirty = false;
    QString msvFileName;
    // msvUndo: empty, or the text as of the document's history last cleared.
    bool mbUndoEmpty = true;
    bool mbLoading = false;
    bool mbLoadStopped = false;
    QString msvInsert;
    qint16 miRunWait = 5;
    bool mbLogMode = false;
    MacroFileFormat moFormat;
    // The line ends of the text Undo goes back to, and the text area's line
    // count at the last change, from which an edit's added and removed lines
    // follow.
    std::vector<LineEnd> moUndoLineEnds;
    int miLineBlocks = 1;
    bool mbClipboardHasText = false;
    KeyHook mKeyHook;

    std::map<QString, QAction*> mEntries;
    std::map<QString, QMenu*> mMenus;
    QToolBar* tbToolBar = nullptr;
    QPlainTextEdit* txtEdit = nullptr;
    MacroHighlighter* mHighlighter = nullptr;
    MacroGutter* mGutter = nullptr;
    std::unique_ptr<CommonDialog> cdlgMac;
    QMenu* mnuMacroEditMenu = nullptr;
    frmFind* mfrmFind = nullptr;
    std::unique_ptr<KeyRecorder> mRecorder;
};

}  // namespace tarn::editor
