// SPDX-License-Identifier: GPL-3.0-or-later
#include "TextAreaFill.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace tarn::editor {

bool FillTextArea(QPlainTextEdit& poEdit, const QString& psvText, qsizetype piPiece,
                  const std::function<bool(qsizetype)>& poBetween) {
    QTextDocument* document = poEdit.document();
    // The history would hold a second copy of everything inserted.
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    const qsizetype total = psvText.size();
    qsizetype done = 0;
    bool complete = true;
    while (done < total) {
        qsizetype end = std::min(total, done + std::max<qsizetype>(1, piPiece));
        if (end < total) {
            // A piece that ends inside a line would lay that line out twice.
            const qsizetype lineEnd = psvText.lastIndexOf(QLatin1Char('\n'), end - 1);
            if (lineEnd >= done) {
                end = lineEnd + 1;
            } else if (psvText.at(end - 1).isHighSurrogate() && end - 1 > done) {
                --end;  // a character is never cut in two
            }
        }
        // The caret stays where it is (at the start of a new text) rather than
        // being pushed along by the text going in at it.
        const QTextCursor caret = poEdit.textCursor();
        const int anchor = caret.anchor();
        const int position = caret.position();
        cursor.insertText(psvText.mid(done, end - done));
        if (poEdit.textCursor().anchor() != anchor || poEdit.textCursor().position() != position) {
            QTextCursor back(document);
            back.setPosition(anchor);
            back.setPosition(position, QTextCursor::KeepAnchor);
            poEdit.setTextCursor(back);
        }
        done = end;
        if (done < total && poBetween && !poBetween(done)) {
            complete = false;
            break;
        }
    }
    document->setUndoRedoEnabled(undo);
    return complete;
}

}  // namespace tarn::editor
