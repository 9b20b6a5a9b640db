#include "MacroGutter.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolTip>

#include "EditorText.h"
#include "MacroCheck.h"

namespace tarn::editor {
namespace {

// How long the text must rest before it is checked again.
constexpr int kCheckPauseMs = 300;
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
    connect(&mCheckTimer, &QTimer::timeout, this, &MacroGutter::refreshMarks);
    connect(mEdit->document(), &QTextDocument::contentsChange, this,
            [this] { mCheckTimer.start(); });
    connect(mEdit, &QPlainTextEdit::blockCountChanged, this, &MacroGutter::updateWidth);
    // The text area updates its viewport after every resize, scroll and edit:
    // the gutter follows the viewport's geometry then, when it is up to date.
    connect(mEdit, &QPlainTextEdit::updateRequest, this, [this] {
        place();
        update();
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

void MacroGutter::refreshMarks() {
    mCheckTimer.stop();
    mMarks.clear();
    for (const Finding& finding : CheckMacroText(exactText(*mEdit).toStdString())) {
        mMarks[finding.line] = QStringLiteral("error %1: %2")
                                   .arg(finding.number)
                                   .arg(QString::fromStdString(finding.description));
    }
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
