// SPDX-License-Identifier: GPL-3.0-or-later
#include "FindIt.h"

#include <QChar>

#include <vector>

namespace tarn::editor {
namespace {

// The form a code point is compared in without "Match Case": its simple
// upper-case mapping, then simple case folding, so that letters whose upper
// and folded forms meet only one way round still match ("ı" and "I", "K" and
// the Kelvin sign). Both mappings are one-to-one, and a supplementary
// character maps to a supplementary one, so the UTF-16 length never changes.
char32_t caseKey(char32_t pcCodePoint) {
    return QChar::toCaseFolded(QChar::toUpper(pcCodePoint));
}

// The compared form of every BMP code unit, made once: a search then costs a
// table lookup per character. Surrogates map to themselves here.
const std::vector<char16_t>& bmpKeys() {
    static const std::vector<char16_t> keys = [] {
        std::vector<char16_t> table(0x10000);
        for (char32_t unit = 0; unit < 0x10000; ++unit) {
            const char32_t key = QChar::isSurrogate(unit) ? unit : caseKey(unit);
            table[unit] = QChar::requiresSurrogates(key) ? char16_t(unit) : char16_t(key);
        }
        return table;
    }();
    return keys;
}

// The compared form of the code unit at piAt, read in the context of its
// surrogate pair, so that a pair folds as the character it encodes.
char16_t keyAt(QStringView psvText, qsizetype piAt, const char16_t* piKeys) {
    const char16_t unit = psvText[piAt].unicode();
    if (!QChar::isSurrogate(unit)) return piKeys[unit];
    if (QChar::isHighSurrogate(unit)) {
        if (piAt + 1 < psvText.size() && psvText[piAt + 1].isLowSurrogate()) {
            const char32_t key = caseKey(QChar::surrogateToUcs4(unit, psvText[piAt + 1].unicode()));
            return QChar::requiresSurrogates(key) ? QChar::highSurrogate(key) : unit;
        }
        return unit;
    }
    if (piAt > 0 && psvText[piAt - 1].isHighSurrogate()) {
        const char32_t key = caseKey(QChar::surrogateToUcs4(psvText[piAt - 1].unicode(), unit));
        return QChar::requiresSurrogates(key) ? QChar::lowSurrogate(key) : unit;
    }
    return unit;
}

// The find text in compared form, made once per search.
QString keysOf(QStringView psvFind, const char16_t* piKeys) {
    QString keys(psvFind.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < psvFind.size(); ++i)
        keys[i] = QChar(keyAt(psvFind, i, piKeys));
    return keys;
}

bool matchesAt(QStringView psvText, QStringView psvKeys, qsizetype piAt, const char16_t* piKeys) {
    for (qsizetype k = 0; k < psvKeys.size(); ++k) {
        if (keyAt(psvText, piAt + k, piKeys) != psvKeys[k].unicode()) return false;
    }
    return true;
}

}  // namespace

namespace {

// The case-insensitive search. The first character of a match can only be one
// of the few code units that share its compared form ("n" and "N"; "k", "K"
// and the Kelvin sign); each is looked for with the fast single-character
// search and only where one lies is the rest compared. A first character that
// is half of a surrogate pair is looked for one position after the other.
qsizetype findIgnoringCase(QStringView psvText, QStringView psvFind, qsizetype piFrom,
                           bool pbForward) {
    const std::vector<char16_t>& table = bmpKeys();
    const QString keys = keysOf(psvFind, table.data());
    const char16_t first = keys[0].unicode();
    const qsizetype last = psvText.size() - keys.size();
    if (pbForward ? piFrom > last : piFrom < 0) return -1;

    std::vector<char16_t> starts;
    if (!QChar::isSurrogate(first)) {
        for (char32_t unit = 0; unit < 0x10000 && starts.size() <= 4; ++unit) {
            if (table[unit] == first && !QChar::isSurrogate(unit)) starts.push_back(char16_t(unit));
        }
    }
    if (starts.empty() || starts.size() > 4) {
        const qsizetype step = pbForward ? 1 : -1;
        for (qsizetype i = piFrom; pbForward ? i <= last : i >= 0; i += step) {
            if (keyAt(psvText, i, table.data()) == first &&
                matchesAt(psvText, keys, i, table.data()))
                return i;
        }
        return -1;
    }
    auto nextOf = [&](char16_t unit, qsizetype from) -> qsizetype {
        if (pbForward) return from > last ? -1 : psvText.indexOf(QChar(unit), from);
        return from < 0 ? -1 : psvText.lastIndexOf(QChar(unit), from);
    };
    std::vector<qsizetype> next;
    for (char16_t unit : starts)
        next.push_back(nextOf(unit, piFrom));
    for (;;) {
        qsizetype at = -1;
        for (qsizetype n : next) {
            if (n < 0 || (pbForward && n > last)) continue;
            if (at < 0 || (pbForward ? n < at : n > at)) at = n;
        }
        if (at < 0) return -1;
        if (at <= last && matchesAt(psvText, keys, at, table.data())) return at;
        for (std::size_t k = 0; k < starts.size(); ++k) {
            if (next[k] == at) next[k] = nextOf(starts[k], pbForward ? at + 1 : at - 1);
        }
    }
}

}  // namespace

qsizetype findForward(QStringView psvText, QStringView psvFind, qsizetype piFrom,
                      bool pbMatchCase) {
    if (piFrom < 0) piFrom = 0;
    if (psvFind.isEmpty() || piFrom + psvFind.size() > psvText.size()) return -1;
    if (pbMatchCase) return psvText.indexOf(psvFind, piFrom, Qt::CaseSensitive);
    return findIgnoringCase(psvText, psvFind, piFrom, /*pbForward=*/true);
}

qsizetype findBackward(QStringView psvText, QStringView psvFind, qsizetype piFrom,
                       bool pbMatchCase) {
    if (psvFind.isEmpty() || psvFind.size() > psvText.size()) return -1;
    if (piFrom > psvText.size() - psvFind.size()) piFrom = psvText.size() - psvFind.size();
    if (piFrom < 0) return -1;
    if (pbMatchCase) return psvText.lastIndexOf(psvFind, piFrom, Qt::CaseSensitive);
    return findIgnoringCase(psvText, psvFind, piFrom, /*pbForward=*/false);
}

FindOutcome FindIt(FindState& poState, QStringView psvText, Selection pSelection,
                   QStringView psvFind, bool pbMatchCase) {
    FindOutcome outcome;
    outcome.selection = pSelection;
    qsizetype adj = pSelection.start == poState.mlLastFind ? 1 : 0;
    if (poState.mbFindChanged) {
        adj = 0;
        // A new find text in All direction starts from the top; moving the
        // caret there drops the selection.
        if (poState.miDirection == FindDirection::All) outcome.selection = Selection{0, 0};
    }
    const qsizetype s = adj + outcome.selection.start;
    const qsizetype match = poState.miDirection == FindDirection::Up
                                ? findBackward(psvText, psvFind, s - 2, pbMatchCase)
                                : findForward(psvText, psvFind, s, pbMatchCase);
    if (match >= 0) {
        outcome.found = true;
        outcome.selection = Selection{match, psvFind.size()};
    } else if (poState.miDirection == FindDirection::All) {
        // The next search in All direction starts again from the top.
        poState.mbFindChanged = true;
        return outcome;
    }
    poState.mlLastFind = outcome.selection.start;
    poState.mbFindChanged = false;
    return outcome;
}

QString cannotFindMessage(const QString& psvFind) {
    return QStringLiteral("Cannot find \"") + psvFind +
           QStringLiteral("\" - Search / Replace complete");
}

}  // namespace tarn::editor
