// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorText.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace tarn::editor {

QString exactText(const QTextDocument& poDocument) {
    // The raw text keeps every character as stored; only the block separator
    // (U+2029) stands where the line ends were.
    QString text = poDocument.toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

QString exactText(const QPlainTextEdit& poEdit) {
    return exactText(*poEdit.document());
}

QString exactSelection(const QTextCursor& poCursor) {
    // selectedText() keeps every character; only the block boundaries show as
    // U+2029.
    QString text = poCursor.selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

QString withTextAreaLineEnds(QString psvText) {
    psvText.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    psvText.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    psvText.replace(QChar::LineSeparator, QLatin1Char('\n'));
    psvText.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return psvText;
}

}  // namespace tarn::editor
