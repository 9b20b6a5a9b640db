#include "EditorText.h"

#include <QPlainTextEdit>
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

}  // namespace tarn::editor
