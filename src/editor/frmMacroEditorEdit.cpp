// SPDX-License-Identifier: GPL-3.0-or-later
// Editing in the editor window: the text area itself, Cut, Copy, Paste,
// Delete, Select All, the one-level undo, the Edit entries following the
// selection and the clipboard, the right-button "&Edit Menu", the toolbar's
// dispatch and the text area's key handling.
//
// The text area's own undo stack, context menu and editing shortcuts are off:
// each would change the text behind the back of the one undo copy. Its keys
// reach the menus' shortcuts first (Ctrl+A is About, Ctrl+Z the editor's Undo).
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextCursor>
#include <QToolBar>

#include "EditorText.h"
#include "Help.h"
#include "frmMacroEditor.h"

namespace tarn::editor {

namespace {

// The right-button state, one for the whole program: the text area that shows
// "&Edit Menu" on a right-button release. The player installs it on the
// editor's text area; the viewer never gets it.
struct RightButtonState {
    QPointer<QPlainTextEdit> target;
    bool installed = false;
};

RightButtonState& rightButton() {
    static RightButtonState state;
    return state;
}

// The text area's own editing shortcuts; the editor's commands stand in for
// them (through the menus' shortcuts) or they do nothing.
bool isOwnEditingShortcut(const QKeyEvent* poEvent, bool pbReadOnly) {
    // A read-only text can still be copied from.
    if (pbReadOnly && poEvent->matches(QKeySequence::Copy)) return false;
    for (QKeySequence::StandardKey key :
         {QKeySequence::Undo, QKeySequence::Redo, QKeySequence::Cut, QKeySequence::Copy,
          QKeySequence::Paste, QKeySequence::SelectAll}) {
        if (poEvent->matches(key)) return true;
    }
    return false;
}

bool isEnter(const QKeyEvent* poEvent) {
    return poEvent->key() == Qt::Key_Return || poEvent->key() == Qt::Key_Enter;
}

// A key press that types: a printable character, Backspace, Tab or Enter.
bool producesCharacter(const QKeyEvent* poEvent) {
    switch (poEvent->key()) {
        case Qt::Key_Backspace:
        case Qt::Key_Tab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return true;
        default:
            break;
    }
    const QString text = poEvent->text();
    return !text.isEmpty() && text.front().isPrint();
}

// An entry can be chosen: it, and every menu above it, is enabled and shown.
bool reachable(const QAction* poAction) {
    if (!poAction->isEnabled() || !poAction->isVisible()) return false;
    for (QObject* up = poAction->parent(); up; up = up->parent()) {
        if (auto* menu = qobject_cast<QMenu*>(up)) {
            const QAction* owner = menu->menuAction();
            if (!owner->isEnabled() || !owner->isVisible()) return false;
        }
    }
    return true;
}

}  // namespace

void frmMacroEditor::createTextArea() {
    txtEdit = new QPlainTextEdit(this);
    txtEdit->setObjectName(QStringLiteral("txtEdit"));
    txtEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The document's history is the one-level undo copy (MacroDocument); its
    // own Undo and Redo keys are off (isOwnEditingShortcut).
    txtEdit->setUndoRedoEnabled(true);
    txtEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // No context menu of its own, and none passed on to the window either.
    txtEdit->setContextMenuPolicy(Qt::PreventContextMenu);
    txtEdit->viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(9.75);
    font.setBold(true);
    txtEdit->setFont(font);
    setCentralWidget(txtEdit);

    txtEdit->installEventFilter(this);
    txtEdit->viewport()->installEventFilter(this);
    mDocument = std::make_unique<MacroDocument>(*txtEdit->document());
    connect(txtEdit, &QPlainTextEdit::selectionChanged, this, [this] { UpdateEditMenus(); });
    // The clipboard is read when it changes, not at every key: on X11 another
    // program owns it and each read is a round trip to that program.
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        mbClipboardHasText = !QApplication::clipboard()->text().isEmpty();
        UpdateEditMenus();
    });
    mbClipboardHasText = !QApplication::clipboard()->text().isEmpty();
}

void frmMacroEditor::restoreUndoCopy(int piCaret) {
    const int horizontal = txtEdit->horizontalScrollBar()->value();
    const int vertical = txtEdit->verticalScrollBar()->value();
    mDocument->rollBack();
    QTextCursor cursor = txtEdit->textCursor();
    cursor.setPosition(std::clamp(piCaret, 0, txtEdit->document()->characterCount() - 1));
    txtEdit->setTextCursor(cursor);
    txtEdit->verticalScrollBar()->setValue(vertical);
    txtEdit->horizontalScrollBar()->setValue(horizontal);
}

void frmMacroEditor::SetUndo() {
    mDocument->takeUndoCopy();
    entry(QStringLiteral("mnuEditUndo"))->setEnabled(true);
    entry(QStringLiteral("mnuMacroEditMenuUndo"))->setEnabled(true);
}

void frmMacroEditor::UpdateEditMenus() {
    const bool selected = txtEdit->textCursor().hasSelection();
    for (const char* name : {"mnuEditCopy", "mnuEditCut", "mnuEditDelete", "mnuMacroEditMenuCopy",
                             "mnuMacroEditMenuCut", "mnuMacroEditMenuDelete"}) {
        entry(QLatin1String(name))->setEnabled(selected);
    }
    entry(QStringLiteral("mnuEditPaste"))->setEnabled(mbClipboardHasText);
    entry(QStringLiteral("mnuMacroEditMenuPaste"))->setEnabled(mbClipboardHasText);
}

void frmMacroEditor::mnuEditCopy_Click() {
    QApplication::clipboard()->setText(exactSelection(txtEdit->textCursor()));
    UpdateEditMenus();
}

void frmMacroEditor::mnuEditCut_Click() {
    if (mbLogMode) return;
    SetUndo();
    QApplication::clipboard()->setText(exactSelection(txtEdit->textCursor()));
    QTextCursor cursor = txtEdit->textCursor();
    cursor.removeSelectedText();
    txtEdit->setTextCursor(cursor);
    UpdateEditMenus();
}

void frmMacroEditor::mnuEditDelete_Click() {
    if (mbLogMode || !txtEdit->textCursor().hasSelection()) return;
    SetUndo();
    QTextCursor cursor = txtEdit->textCursor();
    cursor.removeSelectedText();
    txtEdit->setTextCursor(cursor);
    UpdateEditMenus();
}

void frmMacroEditor::mnuEditPaste_Click() {
    pasteText(QApplication::clipboard()->text());
}

void frmMacroEditor::pasteText(const QString& psvText) {
    if (mbLogMode) return;
    SetUndo();
    // An empty clipboard, or one without text, removes the selection.
    const QString pasted = withTextAreaLineEnds(psvText);
    QTextCursor cursor = txtEdit->textCursor();
    const int start = cursor.selectionStart();
    cursor.insertText(pasted);
    cursor.setPosition(start + static_cast<int>(pasted.size()));
    txtEdit->setTextCursor(cursor);
    UpdateEditMenus();
}

void frmMacroEditor::mnuEditSelectAll_Click() {
    txtEdit->selectAll();
    UpdateEditMenus();
}

void frmMacroEditor::mnuEditUndo_Click() {
    if (mbLogMode) return;
    // The lines come back with the ends they had; the text counts as changed
    // even when it is the same.
    restoreUndoCopy(txtEdit->textCursor().position());
    entry(QStringLiteral("mnuEditUndo"))->setEnabled(false);
    entry(QStringLiteral("mnuMacroEditMenuUndo"))->setEnabled(false);
    UpdateEditMenus();
}

void frmMacroEditor::InsertText(const QString& psvText) {
    if (mbLogMode) return;
    SetUndo();
    const QString text = withTextAreaLineEnds(psvText);
    QTextCursor cursor = txtEdit->textCursor();
    cursor.insertText(text);
    txtEdit->setTextCursor(cursor);
    UpdateEditMenus();
}

void frmMacroEditor::tbToolBar_ButtonClick(const QString& psvKey) {
    if (psvKey == QLatin1String("New")) {
        mnuFileNew_Click();
    } else if (psvKey == QLatin1String("Open")) {
        mnuFileOpen_Click();
    } else if (psvKey == QLatin1String("Save")) {
        mnuFileSave_Click();
    } else if (psvKey == QLatin1String("Print")) {
        // The print command is the entry's handler, wherever it comes from.
        emit entry(QStringLiteral("mnuFilePrint"))->triggered(false);
    } else if (psvKey == QLatin1String("Cut")) {
        mnuEditCut_Click();
    } else if (psvKey == QLatin1String("Copy")) {
        mnuEditCopy_Click();
    } else if (psvKey == QLatin1String("Paste")) {
        mnuEditPaste_Click();
    } else if (psvKey == QLatin1String("Record")) {
        // Works while recording too, when every menu is disabled.
        mnuMacroRecord_Click();
    }
}

void frmMacroEditor::installRightButtonMenu() {
    RightButtonState& state = rightButton();
    state.target = txtEdit;
    state.installed = true;
}

bool frmMacroEditor::rightButtonMenuInstalled() const {
    const RightButtonState& state = rightButton();
    return state.installed && state.target == txtEdit;
}

void frmMacroEditor::removeRightButtonMenu() {
    RightButtonState& state = rightButton();
    if (state.target != txtEdit) return;
    state.target = nullptr;
    state.installed = false;
}

bool frmMacroEditor::eventFilter(QObject* poWatched, QEvent* poEvent) {
    if (txtEdit && poWatched == txtEdit) {
        switch (poEvent->type()) {
            case QEvent::ShortcutOverride:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
                return txtEdit_KeyEvent(static_cast<QKeyEvent*>(poEvent));
            case QEvent::ContextMenu:
                return true;
            case QEvent::FocusOut:
                if (mKeyHook) mKeyHook(poEvent);
                break;
            case QEvent::InputMethod:
                if (mKeyHook && mKeyHook(poEvent)) return true;
                // Characters composed by an input method are typing too.
                if (!txtEdit->isReadOnly() &&
                    !static_cast<QInputMethodEvent*>(poEvent)->commitString().isEmpty()) {
                    entry(QStringLiteral("mnuEditUndo"))->setEnabled(true);
                }
                break;
            default:
                break;
        }
    } else if (txtEdit && poWatched == txtEdit->viewport()) {
        switch (poEvent->type()) {
            case QEvent::ContextMenu:
                return true;
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop:
                // Dragging text in, or within, would change it outside the
                // one-level undo; Cut and Paste do the same with it.
                poEvent->ignore();
                return true;
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
                // The middle button pastes on its release, through Paste.
                return static_cast<QMouseEvent*>(poEvent)->button() == Qt::MiddleButton;
            case QEvent::MouseButtonRelease:
                return txtEdit_MouseUp(static_cast<QMouseEvent*>(poEvent));
            default:
                break;
        }
    }
    return QMainWindow::eventFilter(poWatched, poEvent);
}

bool frmMacroEditor::txtEdit_KeyEvent(QKeyEvent* poEvent) {
    // ---- The recorder's place: while it records it sees every key first. ----
    if (mKeyHook && mKeyHook(poEvent)) {
        // A key the recorder took is no shortcut of the menus either.
        if (poEvent->type() == QEvent::ShortcutOverride) poEvent->accept();
        return true;
    }
    // -------------------------------------------------------------------------
    switch (poEvent->type()) {
        case QEvent::ShortcutOverride: {
            // The text area claims its standard keys (Ctrl+A, Ctrl+Z, Del...)
            // before any shortcut; an entry of the menus that can be chosen
            // gets its key first.
            const QKeySequence pressed(poEvent->keyCombination());
            for (const auto& [name, action] : mEntries) {
                if (!action->shortcut().isEmpty() && action->shortcut() == pressed &&
                    reachable(action)) {
                    poEvent->ignore();
                    return true;
                }
            }
            return false;
        }
        case QEvent::KeyPress:
            if (isOwnEditingShortcut(poEvent, txtEdit->isReadOnly())) return true;
            if (isEnter(poEvent) && (poEvent->modifiers() & Qt::ShiftModifier)) {
                // Shift+Enter would put a line separator inside the line; here a
                // line break is always a line end of the file.
                QKeyEvent plain(QEvent::KeyPress, poEvent->key(),
                                poEvent->modifiers() & ~Qt::ShiftModifier, poEvent->text());
                QApplication::sendEvent(txtEdit, &plain);
                return true;
            }
            txtEdit_KeyPress(poEvent);
            return false;
        case QEvent::KeyRelease:
            txtEdit_KeyUp(poEvent);
            return false;
        default:
            return false;
    }
}

void frmMacroEditor::txtEdit_KeyPress(QKeyEvent* poEvent) {
    if (txtEdit->isReadOnly() || !producesCharacter(poEvent)) return;
    entry(QStringLiteral("mnuEditUndo"))->setEnabled(true);
    if (isEnter(poEvent)) {
        // Undo goes back to the text as it was before this line break.
        mDocument->takeUndoCopy();
        entry(QStringLiteral("mnuEditUndo"))->setEnabled(false);
        entry(QStringLiteral("mnuMacroEditMenuUndo"))->setEnabled(false);
    }
}

void frmMacroEditor::txtEdit_KeyUp(QKeyEvent* poEvent) {
    if (poEvent->key() == Qt::Key_F1 && !poEvent->isAutoRepeat()) showHelpTopics(this);
    UpdateEditMenus();
}

bool frmMacroEditor::txtEdit_MouseUp(QMouseEvent* poEvent) {
    if (poEvent->button() == Qt::MiddleButton) {
        // The X selection pasted where the pointer is, as Paste does it: with
        // the undo copy and the area's own line ends.
        QClipboard* clipboard = QApplication::clipboard();
        if (!txtEdit->isReadOnly() && clipboard->supportsSelection()) {
            txtEdit->setTextCursor(txtEdit->cursorForPosition(poEvent->position().toPoint()));
            pasteText(clipboard->text(QClipboard::Selection));
        }
        return true;
    }
    UpdateEditMenus();
    if (poEvent->button() != Qt::RightButton || !rightButtonMenuInstalled()) return false;
    mnuMacroEditMenu->popup(poEvent->globalPosition().toPoint());
    return true;
}

}  // namespace tarn::editor
