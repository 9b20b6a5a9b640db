// SPDX-License-Identifier: GPL-3.0-or-later
// The macro language in the text area: colours, the line-number gutter with
// the lines a check flags, and going to a line. None of it changes the text,
// the one-level undo, the dirty flag or what the recorder sees.
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTextBlock>
#include <algorithm>

#include "MacroGutter.h"
#include "MacroHighlighter.h"
#include "frmMacroEditor.h"

namespace tarn::editor {

void frmMacroEditor::createLanguageAids() {
    if (!mHighlighter) mHighlighter = new MacroHighlighter(txtEdit);
    if (!mGutter) mGutter = new MacroGutter(txtEdit);
}

void frmMacroEditor::removeLanguageAids() {
    // Taking the colours off reports itself as a change of the contents, which
    // the dirty flag would take for an edit.
    const QSignalBlocker blocker(txtEdit->document());
    delete mHighlighter;
    mHighlighter = nullptr;
    delete mGutter;
    mGutter = nullptr;
}

void frmMacroEditor::GoToLine(int plLine) {
    Load();
    QTextDocument* document = txtEdit->document();
    const int block = std::clamp(plLine, 1, document->blockCount()) - 1;
    txtEdit->setTextCursor(QTextCursor(document->findBlockByNumber(block)));
    txtEdit->centerCursor();
}

}  // namespace tarn::editor
