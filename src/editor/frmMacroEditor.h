// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The macro editor window. One instance edits macro files; a second instance,
// switched into viewer mode by ViewLogMode, shows the trace file read-only.
//
// Units: frmMacroEditor.cpp builds the window (menus, toolbar, text area),
// loads, closes and keeps its geometry, and opens help and the about box;
// frmMacroEditorFiles.cpp is New, Open, Save, Save As and Exit, through the
// file unit (MacroFiles); frmMacroEditorLoading.cpp puts an opened file into
// the text area (in pieces, the window answering, for a large one);
// frmMacroEditorEdit.cpp the editing commands, the one-level undo, the
// right-button menu, the toolbar dispatch and the text area's key handling;
// frmMacroEditorViewer.cpp the viewer mode; frmMacroEditorPrint.cpp Print and Printer Setup;
// frmMacroEditorLanguage.cpp the macro language shown in the text area
// (colours, line numbers, lines that a check flags) and going to a line;
// frmMacroEditorDisk.cpp the watch of the file on disk beside the text
// (the questions about it are DiskQuestions); frmMacroEditorRecovery.cpp the
// offer of the recovery copies of unsaved text (RecoveryCopy);
// frmMacroEditorTemplates.cpp and frmMacroEditorRecorder.cpp wire the Wizard
// menu to its templates (WizardTemplates) and the recorder to the recording of
// the text area (Recording).
//
// The macro itself (file name, format, dirty flag, undo copy) is a
// MacroDocument apart from the window; the window shows it and asks the user.
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
#include <array>
#include <functional>
#include <map>
#include <memory>

#include "EditorPrompts.h"
#include "MacroDocument.h"
#include "RecoveryFile.h"
#include "WizardTemplates.h"

class QAction;
class QFileSystemWatcher;
class QMenu;
class QTimer;
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
class MacroFiles;
class Recording;
class RecoveryCopy;

class frmMacroEditor : public QMainWindow, public EditorPrompts {
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

    // The caption of an untitled text (the questions' title is kEditorTitle).
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

    // The macro being edited: file name, format, dirty flag and undo copy.
    MacroDocument& document() { return *mDocument; }
    const MacroDocument& document() const { return *mDocument; }
    // The parts of the window that the other units work with.
    QPlainTextEdit* textArea() const { return txtEdit; }
    CommonDialog& dialog() { return *cdlgMac; }
    bool logMode() const { return mbLogMode; }
    // A file is going into the text area (the window answers meanwhile).
    bool loading() const { return mbLoading; }
    qint16 runWait() const { return miRunWait; }
    void setRunWait(qint16 piSeconds) { miRunWait = piSeconds; }
    // A menu entry or menu by its object name (null when there is none).
    QAction* entry(const QString& psvName) const;
    QMenu* menu(const QString& psvName) const;
    QToolBar* toolBar() const { return tbToolBar; }

    // The questions and reports of the editor, through the hooks.
    bool ask(const QString& psvTitle, const QString& psvText) override;
    void report(const QString& psvTitle, const QString& psvText) override;

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
    bool txtEdit_KeyEvent(QKeyEvent* poEvent);
    void txtEdit_KeyPress(QKeyEvent* poEvent);
    void txtEdit_KeyUp(QKeyEvent* poEvent);
    bool txtEdit_MouseUp(QMouseEvent* poEvent);
    void removeRightButtonMenu();
    // Paste of the given text (the clipboard's, or the X selection's for the
    // middle button).
    void pasteText(const QString& psvText);
    // Brings back the undo copy; the caret goes to piCaret (clamped to the
    // text) and the view stays where it was, as far as the text reaches.
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
    // InsertText, for the units that insert.
    TextInserter inserter();
    void connectRecorder();
    void connectSearch();
    // The recorder's look at a key event of the text area while it records.
    bool recorderKey(QEvent* poEvent);

    // Viewer helpers (frmMacroEditorViewer.cpp).
    void offerToClearTrace(const QString& psvPath);

    // Files helper (frmMacroEditorFiles.cpp): New with its question, false
    // when the user chose to save and the text was not saved (the text then
    // stays).
    bool NewText();

    // The watch of the file on disk (frmMacroEditorDisk.cpp): another
    // program's change is noticed while the file is open.
    void connectDiskWatch();
    void watchFile();
    void checkDisk();

    // The recovery copies (frmMacroEditorRecovery.cpp): the text an editor
    // that is gone left is offered when the first editor of a run loads.
    void offerLeftTexts();
    bool restoreLeftText(const LeftText& poLeft);

    bool mbLoaded = false;
    bool mbUnloading = false;
    bool mbLoading = false;
    bool mbLoadStopped = false;
    QFileSystemWatcher* mWatcher = nullptr;
    QTimer* mDiskCheck = nullptr;
    // The file's presence, inode, size and time when last looked at.
    std::array<qint64, 5> mSeenOnDisk{};
    // Set while OpenMacro runs: the window answers events then, and the
    // offer of a left text waits until it is done.
    bool mbOpening = false;
    qint16 miRunWait = 5;
    bool mbLogMode = false;
    bool mbClipboardHasText = false;
    KeyHook mKeyHook;

    std::map<QString, QAction*> mEntries;
    std::map<QString, QMenu*> mMenus;
    QToolBar* tbToolBar = nullptr;
    QPlainTextEdit* txtEdit = nullptr;
    std::unique_ptr<MacroDocument> mDocument;
    MacroHighlighter* mHighlighter = nullptr;
    MacroGutter* mGutter = nullptr;
    std::unique_ptr<CommonDialog> cdlgMac;
    QMenu* mnuMacroEditMenu = nullptr;
    frmFind* mfrmFind = nullptr;
    // The units the window wires, gone before what they work on.
    std::unique_ptr<Recording> mRecording;
    std::unique_ptr<MacroFiles> mFiles;
    std::unique_ptr<RecoveryCopy> mRecovery;
};

}  // namespace tarn::editor
