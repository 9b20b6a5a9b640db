#pragma once
// A line-number gutter for a QPlainTextEdit, which also marks the lines that
// tarn --check would flag, with the finding as the mark's tool tip. The marks
// follow the text a moment after it stops changing, so typing in a long macro
// does not wait for a check of the whole text. Only the edit's margin changes:
// never its text, its undo history or its modified state.

#include <QTimer>
#include <QWidget>
#include <map>

class QPlainTextEdit;

namespace tarn::editor {

class MacroGutter : public QWidget {
    Q_OBJECT
  public:
    // Becomes a child of the edit, in a left margin of its own.
    explicit MacroGutter(QPlainTextEdit* poEdit);
    ~MacroGutter() override;

    // The flagged lines (1-based) and their findings as
    // "error NUMBER: description", as of the last check.
    const std::map<int, QString>& marks() const { return mMarks; }
    // Checks the text now instead of after the pause.
    void refreshMarks();
    // The line (1-based) shown at a height of the gutter; 0 below the text.
    int lineAt(int piY) const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* poEvent) override;
    bool event(QEvent* poEvent) override;
    bool eventFilter(QObject* poWatched, QEvent* poEvent) override;

  private:
    void updateWidth();
    void place();
    // The top of each visible line in the gutter's coordinates, from the
    // first visible line on.
    template <class Visit>
    void forEachVisibleLine(Visit&& visit) const;

    QPlainTextEdit* mEdit;
    QTimer mCheckTimer;
    std::map<int, QString> mMarks;
    int miWidth = 0;
};

}  // namespace tarn::editor
