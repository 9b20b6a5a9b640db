#include "FindIt.h"

#include <QChar>

#include <array>

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

const std::array<char16_t, 128>& asciiKeys() {
    static const std::array<char16_t, 128> keys = [] {
        std::array<char16_t, 128> table{};
        for (int c = 0; c < 128; ++c)
            table[c] = static_cast<char16_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return table;
    }();
    return keys;
}

// The compared form of the code unit at piAt, read in the context of its
// surrogate pair, so that a pair folds as the character it encodes.
char16_t keyAt(QStringView psvText, qsizetype piAt) {
    const char16_t unit = psvText[piAt].unicode();
    if (unit < 128) return asciiKeys()[unit];
    if (QChar::isHighSurrogate(unit)) {
        if (piAt + 1 < psvText.size() && psvText[piAt + 1].isLowSurrogate()) {
            const char32_t key = caseKey(QChar::surrogateToUcs4(unit, psvText[piAt + 1].unicode()));
            return QChar::requiresSurrogates(key) ? QChar::highSurrogate(key) : unit;
        }
        return unit;
    }
    if (QChar::isLowSurrogate(unit)) {
        if (piAt > 0 && psvText[piAt - 1].isHighSurrogate()) {
            const char32_t key = caseKey(QChar::surrogateToUcs4(psvText[piAt - 1].unicode(), unit));
            return QChar::requiresSurrogates(key) ? QChar::lowSurrogate(key) : unit;
        }
        return unit;
    }
    const char32_t key = caseKey(unit);
    return QChar::requiresSurrogates(key) ? unit : static_cast<char16_t>(key);
}

// The find text in compared form, made once per search.
QString keysOf(QStringView psvFind) {
    QString keys(psvFind.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < psvFind.size(); ++i)
        keys[i] = QChar(keyAt(psvFind, i));
    return keys;
}

bool matchesAt(QStringView psvText, QStringView psvKeys, qsizetype piAt) {
    for (qsizetype k = 0; k < psvKeys.size(); ++k) {
        if (keyAt(psvText, piAt + k) != psvKeys[k].unicode()) return false;
    }
    return true;
}

}  // namespace

qsizetype findForward(QStringView psvText, QStringView psvFind, qsizetype piFrom,
                      bool pbMatchCase) {
    if (piFrom < 0) piFrom = 0;
    if (psvFind.isEmpty() || piFrom + psvFind.size() > psvText.size()) return -1;
    if (pbMatchCase) return psvText.indexOf(psvFind, piFrom, Qt::CaseSensitive);
    const QString keys = keysOf(psvFind);
    const char16_t first = keys[0].unicode();
    const qsizetype last = psvText.size() - keys.size();
    for (qsizetype i = piFrom; i <= last; ++i) {
        if (keyAt(psvText, i) == first && matchesAt(psvText, keys, i)) return i;
    }
    return -1;
}

qsizetype findBackward(QStringView psvText, QStringView psvFind, qsizetype piFrom,
                       bool pbMatchCase) {
    if (psvFind.isEmpty() || psvFind.size() > psvText.size()) return -1;
    if (piFrom > psvText.size() - psvFind.size()) piFrom = psvText.size() - psvFind.size();
    if (piFrom < 0) return -1;
    if (pbMatchCase) return psvText.lastIndexOf(psvFind, piFrom, Qt::CaseSensitive);
    const QString keys = keysOf(psvFind);
    const char16_t first = keys[0].unicode();
    for (qsizetype i = piFrom; i >= 0; --i) {
        if (keyAt(psvText, i) == first && matchesAt(psvText, keys, i)) return i;
    }
    return -1;
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
