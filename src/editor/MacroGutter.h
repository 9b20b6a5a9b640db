// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A line-number gutter for a QPlainTextEdit, which also marks the lines that
// tarn --check would flag, with the finding as the mark's tool tip. The marks
// follow the text a moment after it stops changing. After an edit only the
// changed lines are checked again, and the lines after them only as long as
// the variables known there differ from before the edit (a line's finding
// depends on nothing else). Lines below the view are checked only when they
// are scrolled into view, and a long check goes in slices, between which the
// window answers. Only the edit's margin changes: never its text, its undo
// history or its modified state.

#include <QTimer>
#include <QWidget>
#include <climits>
#include <map>

#include "MacroCheck.h"

class QPlainTextEdit;

namespace tarn::editor {

class MacroGutter : public QWidget {
    Q_OBJECT
  public:
    // Becomes a child of the edit, in a left margin of its own.
    explicit MacroGutter(QPlainTextEdit* poEdit);
    ~MacroGutter() override;

    // The flagged lines (1-based) and their findings as
    // "error NUMBER: description", as of the last check (as far as it went).
    const std::map<int, QString>& marks() const { return mMarks; }
    // Checks what changed now, the whole text if need be, instead of after the
    // pause and as far as the view.
    void refreshMarks();
    // The line (1-based) shown at a height of the gutter; 0 below the text.
    int lineAt(int piY) const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* poEvent) override;
    bool event(QEvent* poEvent) override;
    bool eventFilter(QObject* poWatched, QEvent* poEvent) override;

  private:
    void textChanged(int piPosition, int piAdded);
    // Checks the lines waiting for it, at most piBudget of them (0: all) and
    // none past line piUntil (0-based); true when none is left waiting.
    bool checkPending(int piBudget, int piUntil);
    // The last line (0-based) the text area shows, whole or in part.
    int lastLineInView() const;
    void checkSlice();
    void updateWidth();
    void place();
    // The top of each visible line in the gutter's coordinates, from the
    // first visible line on.
    template <class Visit>
    void forEachVisibleLine(Visit&& visit) const;

    QPlainTextEdit* mEdit;
    QTimer mCheckTimer;
    std::map<int, QString> mMarks;
    // The checker as it stands before a line (0-based), every so many lines:
    // where a check resumes, and what tells it that it can stop.
    std::map<int, MacroChecker> mCheckpoints;
    // Lines miFirst to miLast must be checked again (miFirst -1: none); the
    // lines after them until the checker's state is as before.
    int miFirst = 0;
    int miLast = INT_MAX;
    int miBlockCount = 1;
    int miWidth = 0;
};

}  // namespace tarn::editor
