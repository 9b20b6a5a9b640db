// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of the editor's text area exactly as the user sees it. Qt's
// QPlainTextEdit::toPlainText() is meant for display: it turns no-break spaces
// into plain spaces, which would silently change a file on its way back to
// disk. Everything that reads the text for saving, undo, find or printing
// reads it here instead.

#include <QString>

class QPlainTextEdit;
class QTextCursor;
class QTextDocument;

namespace tarn::editor {

// The document's characters with each block boundary as one "\n".
QString exactText(const QTextDocument& poDocument);
QString exactText(const QPlainTextEdit& poEdit);
// The cursor's selected characters, line ends as "\n".
QString exactSelection(const QTextCursor& poCursor);

// Text from outside the text area (the clipboard, templates) with every line
// end in the area's own form: CR LF, CR and the Unicode line and paragraph
// separators become "\n", so that what is shown as a line break is saved as one.
QString withTextAreaLineEnds(QString psvText);

}  // namespace tarn::editor
