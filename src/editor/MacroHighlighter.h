// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Colours for the macro language in a text area: keywords, comments, quoted
// texts, numbers, and the key notation's braces and prefixes inside Send.
// Lines are read by the interpreter's own classification, so a word is a
// keyword exactly when a run would take it for one. Only the lines in view are
// coloured, just before they are painted, and a line again only after it
// changed: opening a large file colours one screenful. Only the display
// changes: the text, its undo history and its modified state are left alone,
// and nobody listening to the document hears of it.

#include <QList>
#include <QObject>
#include <QTextCharFormat>
#include <QTextLayout>

class QPlainTextEdit;
class QTextBlock;

namespace tarn::editor {

class MacroHighlighter : public QObject {
    Q_OBJECT
  public:
    enum class Part { Keyword, Comment, Quoted, Number, KeyBraces, KeyPrefix };
    static QTextCharFormat format(Part pePart);
    // The coloured parts of one line.
    static QList<QTextLayout::FormatRange> formatsOf(const QString& psvLine);

    // Colours poEdit's lines as they come into view, from its next paint on.
    explicit MacroHighlighter(QPlainTextEdit* poEdit);
    // Takes the colours off again.
    ~MacroHighlighter() override;

    // Colours the lines in view that are not coloured yet (the paint does it).
    void highlightVisible();
    // Whether a line has its colours (as of its last change).
    static bool highlighted(const QTextBlock& poBlock);

  protected:
    bool eventFilter(QObject* poWatched, QEvent* poEvent) override;

  private:
    void textChanged(int piPosition, int piAdded);

    QPlainTextEdit* mEdit;
    bool mbColourQueued = false;
};

}  // namespace tarn::editor
