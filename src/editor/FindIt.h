// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The search of the find dialog, over a text and a selection, without the
// dialog: where the next match is, what the dialog remembers between searches
// and when "Cannot find" is due.
//
// Offsets are positions in the text as the text area counts them (UTF-16 code
// units, one per line end), so a match can be selected as found.
//
// Without "Match Case" two texts match when every character matches its
// counterpart after simple (one-to-one) upper-casing and case folding. Such a
// comparison never changes a length, so offsets in the compared forms are
// offsets in the text: an "ß" stays one character and matches only itself or
// "ẞ", never "SS". The text is compared where it lies; no upper-cased copy of
// it is made.

#include <QString>
#include <QStringView>

namespace tarn::editor {

enum class FindDirection { Up = 0, Down = 1, All = 2 };

// What the dialog keeps between searches.
struct FindState {
    FindDirection miDirection = FindDirection::All;
    // The find text was edited since the last completed search, or the last
    // search in All direction found nothing.
    bool mbFindChanged = false;
    // The selection start after the last completed search.
    qsizetype mlLastFind = 0;
};

struct Selection {
    qsizetype start = 0;
    qsizetype length = 0;
    friend bool operator==(const Selection& a, const Selection& b) {
        return a.start == b.start && a.length == b.length;
    }
};

struct FindOutcome {
    bool found = false;
    // The editor's selection after the search (unchanged, moved to the top,
    // or the match).
    Selection selection;
};

// One search as "Find Next" does it, updating poState. pSelection is the
// editor's selection before the search. When nothing is found the caller
// shows the "Cannot find" message (cannotFindMessage()).
FindOutcome FindIt(FindState& poState, QStringView psvText, Selection pSelection,
                   QStringView psvFind, bool pbMatchCase);

// The first offset at or after piFrom where psvFind occurs, or -1.
qsizetype findForward(QStringView psvText, QStringView psvFind, qsizetype piFrom, bool pbMatchCase);
// The first of the offsets piFrom, piFrom - 1, ..., 0 where psvFind occurs,
// or -1 (also when piFrom is negative).
qsizetype findBackward(QStringView psvText, QStringView psvFind, qsizetype piFrom,
                       bool pbMatchCase);

// "Cannot find "<find text>" - Search / Replace complete".
QString cannotFindMessage(const QString& psvFind);

}  // namespace tarn::editor
