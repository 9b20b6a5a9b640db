#pragma once
// Colours for the macro language in a text document: keywords, comments,
// quoted texts, numbers, and the key notation's braces and prefixes inside
// Send. Lines are read by the interpreter's own classification, so a word is a
// keyword exactly when a run would take it for one. Only the display changes:
// the text, its undo history and its modified state are left alone.

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace tarn::editor {

class MacroHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
  public:
    enum class Part { Keyword, Comment, Quoted, Number, KeyBraces, KeyPrefix };
    static QTextCharFormat format(Part pePart);

    // Highlights the document at once, without reporting it as a change of
    // its contents (the editor takes any such report for an edit).
    explicit MacroHighlighter(QTextDocument* poDocument);

  protected:
    void highlightBlock(const QString& psvText) override;
};

}  // namespace tarn::editor
