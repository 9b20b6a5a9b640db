// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Wizard menu's insertions: each builds its commented example (modTemplates),
// keeps it as the document's last template and inserts it through the editor's
// insertion, which takes the undo copy first, so one Undo takes it out again.
// Run and RunExecute ask for the file first with the common dialog, which
// keeps the last file name between uses.

#include <QString>
#include <functional>

class QPlainTextEdit;
class QWidget;

namespace tarn::editor {

class CommonDialog;
class MacroDocument;

// Replaces the text area's selection with the text (line ends in any form).
using TextInserter = std::function<void(const QString& psvText)>;

// Keeps the built template as the last one and inserts it.
void insertTemplate(MacroDocument& poDocument, const TextInserter& poInsert,
                    const QString& psvTemplate);
// Asks for the program (Run) or the file (RunExecute) and inserts its
// template; a cancelled or failed dialog inserts nothing and says nothing.
void insertRunTemplate(MacroDocument& poDocument, const TextInserter& poInsert,
                       CommonDialog& poDialog, qint16 piRunWait);
void insertRunExecuteTemplate(MacroDocument& poDocument, const TextInserter& poInsert,
                              CommonDialog& poDialog, qint16 piRunWait);

// The run wait box over the editor window. The wait becomes the stored one
// as the box opens, and the one the user answers (stored too) as it closes;
// an empty answer or Cancel keeps it. The text area holds the keyboard as the
// box closes, until the editor is active again.
void askRunWait(QWidget& poEditor, QPlainTextEdit& poText, qint16& piRunWait);

}  // namespace tarn::editor
