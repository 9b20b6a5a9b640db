// SPDX-License-Identifier: GPL-3.0-or-later
#include "MacroGutter.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolTip>
#include <vector>

namespace tarn::editor {
namespace {

// How long the text must rest before it is checked again.
constexpr int kCheckPauseMs = 300;
// Lines checked in one go before the window may answer again (some 20 ms).
constexpr int kCheckSliceLines = 20000;
// A checkpoint of the checker every so many lines: an edit is checked from the
// one before it.
constexpr int kCheckpointLines = 1000;
constexpr int kPadding = 4;

// The text area's left viewport margin, the strip the gutter stands in. The
// margin is the scroll area's own and protected; a using-declaration in a
// derived class names it publicly, and the member pointer so obtained works on
// any text area. (The widget's contents margins would not do: the frame resets
// them whenever the widget is polished or its style changes.)
struct ViewportMargins : QPlainTextEdit {
    using QAbstractScrollArea::setViewportMargins;
};

void setLeftViewportMargin(QPlainTextEdit* poEdit, int piWidth) {
    using Setter = void (QAbstractScrollArea::*)(int, int, int, int);
    const Setter setter = &ViewportMargins::setViewportMargins;
    (poEdit->*setter)(piWidth, 0, 0, 0);
}

}  // namespace

MacroGutter::MacroGutter(QPlainTextEdit* poEdit) : QWidget(poEdit), mEdit(poEdit) {
    setObjectName(QStringLiteral("MacroGutter"));
    setFont(mEdit->font());
    mCheckTimer.setSingleShot(true);
    mCheckTimer.setInterval(kCheckPauseMs);
    connect(&mCheckTimer, &QTimer::timeout, this, &MacroGutter::checkSlice);
    connect(mEdit->document(), &QTextDocument::contentsChange, this,
            [this](int piPosition, int, int piAdded) { textChanged(piPosition, piAdded); });
    mCheckpoints.emplace(0, MacroChecker());
    miBlockCount = mEdit->blockCount();
    connect(mEdit, &QPlainTextEdit::blockCountChanged, this, &MacroGutter::updateWidth);
    // The text area updates its viewport after every resize, scroll and edit:
    // the gutter follows the viewport's geometry then, when it is up to date.
    connect(mEdit, &QPlainTextEdit::updateRequest, this, [this](const QRect&, int piScrolled) {
        place();
        update();
        // Lines scrolled into view that wait for their check get it now.
        if (piScrolled != 0 && miFirst >= 0 && miFirst <= lastLineInView() &&
            !mCheckTimer.isActive()) {
            mCheckTimer.start(0);
        }
    });
    mEdit->installEventFilter(this);
    updateWidth();
    refreshMarks();
    show();
}

MacroGutter::~MacroGutter() {
    // A text area that is being destroyed deletes its children from its widget
    // part on, when it is no longer a text area: only a living one gets its
    // margin back.
    if (auto* edit = qobject_cast<QPlainTextEdit*>(parentWidget())) {
        edit->removeEventFilter(this);
        setLeftViewportMargin(edit, 0);
    }
}

QSize MacroGutter::sizeHint() const {
    return {miWidth, 0};
}

void MacroGutter::updateWidth() {
    int digits = 1;
    for (int count = std::max(1, mEdit->blockCount()); count >= 10; count /= 10)
        ++digits;
    // Room for the mark, the digits and a little air on both sides.
    const int width = fontMetrics().height() +
                      fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits + 2 * kPadding;
    if (width == miWidth) return;
    miWidth = width;
    // The margin moves the text to the right, leaving this strip for the gutter.
    setLeftViewportMargin(mEdit, miWidth);
    place();
}

void MacroGutter::place() {
    const QRect area = mEdit->viewport()->geometry();
    setGeometry(area.left() - miWidth, area.top(), miWidth, area.height());
}

bool MacroGutter::eventFilter(QObject* poWatched, QEvent* poEvent) {
    if (poWatched == mEdit &&
        (poEvent->type() == QEvent::Resize || poEvent->type() == QEvent::LayoutRequest)) {
        place();
    }
    return QWidget::eventFilter(poWatched, poEvent);
}

namespace {

// Drops the keys after piFirst up to piLast and moves those after piLast by
// piDelta: without copying what the keys carry, however large.
template <class Map>
void dropAndMove(Map& poMap, int piFirst, int piLast, int piDelta) {
    poMap.erase(poMap.upper_bound(piFirst), poMap.upper_bound(piLast));
    if (piDelta == 0) return;
    std::vector<typename Map::node_type> later;
    for (auto it = poMap.upper_bound(piLast); it != poMap.end();)
        later.push_back(poMap.extract(it++));
    for (auto& node : later) {
        node.key() += piDelta;
        poMap.insert(std::move(node));
    }
}

}  // namespace

void MacroGutter::textChanged(int piPosition, int piAdded) {
    const QTextDocument* document = mEdit->document();
    const int first = document->findBlock(piPosition).blockNumber();
    const int last =
        document->findBlock(std::min(piPosition + piAdded, document->characterCount() - 1))
            .blockNumber();
    const int delta = document->blockCount() - miBlockCount;
    miBlockCount = document->blockCount();
    // The changed lines were first to oldLast before the change.
    const int oldLast = last - delta;
    const auto moved = [&](int piLine) { return piLine > oldLast ? piLine + delta : piLine; };

    // The marks of the changed lines (1-based) go; the state before a changed
    // line (0-based) is not known any more, while the state after the change,
    // as it was, is what a new check compares with.
    dropAndMove(mMarks, first, oldLast + 1, delta);
    dropAndMove(mCheckpoints, first, oldLast, delta);

    if (miFirst < 0) {
        miFirst = first;
        miLast = last;
    } else {
        miFirst = std::min(moved(miFirst), first);
        miLast = std::max(miLast == INT_MAX ? INT_MAX : moved(miLast), last);
    }
    mCheckTimer.start(kCheckPauseMs);
}

int MacroGutter::lastLineInView() const {
    return mEdit->cursorForPosition(QPoint(0, mEdit->viewport()->height())).blockNumber();
}

bool MacroGutter::checkPending(int piBudget, int piUntil) {
    if (miFirst < 0) return true;
    auto resume = std::prev(mCheckpoints.upper_bound(miFirst));
    int line = resume->first;
    MacroChecker checker = resume->second;
    int checked = 0;
    for (QTextBlock block = mEdit->document()->findBlockByNumber(line); block.isValid();
         block = block.next(), ++line) {
        const auto stored = mCheckpoints.find(line);
        if (stored != mCheckpoints.end()) {
            // Past the change, a state as before means findings as before.
            if (line > miLast && stored->second.sameVariables(checker)) {
                miFirst = -1;
                return true;
            }
            stored->second = checker;
        } else if (line % kCheckpointLines == 0) {
            mCheckpoints.emplace(line, checker);
        }
        if ((piBudget > 0 && checked == piBudget) || line > piUntil) {
            mCheckpoints.insert_or_assign(line, checker);
            miFirst = line;
            return false;
        }
        mMarks.erase(line + 1);
        if (std::optional<Finding> finding = checker.checkLine(block.text().toStdString())) {
            mMarks[line + 1] = QStringLiteral("error %1: %2")
                                   .arg(finding->number)
                                   .arg(QString::fromStdString(finding->description));
        }
        ++checked;
    }
    mCheckpoints.erase(mCheckpoints.lower_bound(std::max(1, line)), mCheckpoints.end());
    mMarks.erase(mMarks.upper_bound(line), mMarks.end());
    miFirst = -1;
    return true;
}

void MacroGutter::checkSlice() {
    // Only the lines up to those in view need their marks; the rest wait until
    // they are scrolled into view. What is left of that goes on as soon as the
    // window has answered.
    const int until = lastLineInView();
    if (!checkPending(kCheckSliceLines, until) && miFirst <= until) mCheckTimer.start(0);
    update();
}

void MacroGutter::refreshMarks() {
    mCheckTimer.stop();
    checkPending(0, INT_MAX);
    update();
}

template <class Visit>
void MacroGutter::forEachVisibleLine(Visit&& visit) const {
    const int offset = mEdit->viewport()->geometry().top() - geometry().top();
    QTextBlock block = mEdit->cursorForPosition(QPoint(0, 0)).block();
    while (block.isValid()) {
        const QRect line = mEdit->cursorRect(QTextCursor(block));
        const int top = line.top() + offset;
        if (top > height()) break;
        if (block.isVisible()) visit(block.blockNumber() + 1, top, line.height());
        block = block.next();
    }
}

int MacroGutter::lineAt(int piY) const {
    int found = 0;
    forEachVisibleLine([&](int line, int top, int lineHeight) {
        if (piY >= top && piY < top + lineHeight) found = line;
    });
    return found;
}

void MacroGutter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const int mark = fontMetrics().height();
    forEachVisibleLine([&](int line, int top, int lineHeight) {
        if (mMarks.count(line)) {
            const int size = std::min(mark, lineHeight) * 2 / 3;
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0xD0, 0x20, 0x20));
            painter.drawEllipse(
                QRect(kPadding / 2 + (mark - size) / 2, top + (lineHeight - size) / 2, size, size));
        }
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(mark, top, width() - mark - kPadding, lineHeight),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(line));
    });
}

bool MacroGutter::event(QEvent* poEvent) {
    if (poEvent->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(poEvent);
        const auto mark = mMarks.find(lineAt(help->pos().y()));
        if (mark != mMarks.end()) {
            QToolTip::showText(help->globalPos(), mark->second, this);
        } else {
            QToolTip::hideText();
            poEvent->ignore();
        }
        return true;
    }
    return QWidget::event(poEvent);
}

}  // namespace tarn::editor
