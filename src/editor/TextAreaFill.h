// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Putting a whole file's text into the text area piece by piece, so that the
// window can answer (paint, scroll, close) between the pieces of a large file.
// The text goes straight from the string read to the document: no copy of the
// whole text is made on the way.

#include <QString>
#include <functional>

class QPlainTextEdit;

namespace tarn::editor {

// Pieces of about this many characters, cut behind a line end: small enough
// that the window can answer every few tens of milliseconds.
constexpr qsizetype kFillPieceChars = 128 * 1024;

// Appends psvText to the end of the text area's document in pieces of about
// piPiece characters, each ending at a line end where the text has one within
// reach. After every piece but the last, poBetween(characters done) runs; when
// it returns false the filling stops there. Returns true when all of the text
// went in. The document's undo history takes none of it.
bool FillTextArea(QPlainTextEdit& poEdit, const QString& psvText, qsizetype piPiece,
                  const std::function<bool(qsizetype)>& poBetween);

}  // namespace tarn::editor
