// SPDX-License-Identifier: GPL-3.0-or-later
#include "MacroHighlighter.h"

#include <QAbstractTextDocumentLayout>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "Failure.h"
#include "KeyNotation.h"
#include "Statement.h"
#include "Syntax.h"

namespace tarn::editor {
namespace {

// Paints the parts of one line, given in byte offsets of its UTF-8 form.
class LinePainter {
  public:
    LinePainter(const std::string& psvLine,
                std::function<void(int, int, const QTextCharFormat&)> poSet)
        : mLine(psvLine), mSet(std::move(poSet)) {
        // The text's index (UTF-16) of every byte offset.
        mIndex.resize(psvLine.size() + 1);
        int index = 0;
        for (std::size_t i = 0; i < psvLine.size(); ++i) {
            mIndex[i] = index;
            const unsigned char c = static_cast<unsigned char>(psvLine[i]);
            if ((c & 0xC0) != 0x80) index += c >= 0xF0 ? 2 : 1;
        }
        mIndex[psvLine.size()] = index;
    }

    void paint(std::size_t begin, std::size_t length, MacroHighlighter::Part part) {
        if (length == 0 || begin + length > mLine.size()) return;
        mSet(mIndex[begin], mIndex[begin + length] - mIndex[begin], MacroHighlighter::format(part));
    }

    // Where a view into the line begins.
    std::size_t at(std::string_view part) const {
        return static_cast<std::size_t>(part.data() - mLine.data());
    }

    // A value text: quoted, embedded command, or number.
    void value(std::string_view text, bool keys) {
        ValueForm form;
        try {
            form = ClassifyValue(text);
        } catch (const Failure&) {
            return;  // a lone quote: the gutter tells
        }
        const std::string_view trimmed = LeadingAndTrailingSpacesRemoved(text);
        const std::size_t begin = at(trimmed);
        switch (form.kind) {
            case ValueForm::Kind::Quoted:
                paint(begin, 1, MacroHighlighter::Part::Quoted);
                if (keys) {
                    notation(trimmed.substr(1, trimmed.size() - 2));
                } else {
                    paint(begin + 1, trimmed.size() - 2, MacroHighlighter::Part::Quoted);
                }
                paint(begin + trimmed.size() - 1, 1, MacroHighlighter::Part::Quoted);
                return;
            case ValueForm::Kind::Run:
                paint(begin, 3, MacroHighlighter::Part::Keyword);
                unquotedValue(trimmed.substr(4));
                return;
            case ValueForm::Kind::GetProcessID:
                paint(begin, 12, MacroHighlighter::Part::Keyword);
                value(trimmed.substr(13), false);
                return;
            case ValueForm::Kind::GetWindowID:
                paint(begin, 11, MacroHighlighter::Part::Keyword);
                fields(LeadingAndTrailingSpacesRemoved(trimmed.substr(12)));
                return;
            case ValueForm::Kind::Other:
                break;
        }
        if (std::holds_alternative<double>(LiteralValue(text))) {
            paint(begin, trimmed.size(), MacroHighlighter::Part::Number);
        } else if (keys) {
            notation(trimmed);
        }
    }

    // A parameter text split at commas: each field is a value.
    void fields(std::string_view text) {
        ParameterList params;
        try {
            ParseParameters(text, params);
        } catch (const Failure&) {
            return;  // an unbalanced quote: the gutter tells
        }
        std::size_t from = 0;
        for (std::size_t i = 1; i < params.size(); ++i) {
            if (params[i].empty()) continue;
            const std::size_t found = text.find(params[i], from);
            if (found == std::string_view::npos) return;
            value(text.substr(found, params[i].size()), false);
            from = found + params[i].size();
        }
    }

    // The text a command receives after one quote is taken from each end; the
    // quotes themselves are shown as quotes.
    std::string_view unquoted(std::string_view text) {
        text = LeadingAndTrailingSpacesRemoved(text);
        if (!text.empty() && text.front() == kQuote) {
            paint(at(text), 1, MacroHighlighter::Part::Quoted);
            text.remove_prefix(1);
        }
        if (!text.empty() && text.back() == kQuote) {
            paint(at(text) + text.size() - 1, 1, MacroHighlighter::Part::Quoted);
            text.remove_suffix(1);
        }
        return text;
    }

    // A parameter that loses its end quotes before it is read: a text in
    // quotes is shown as one, whatever its value.
    void unquotedValue(std::string_view text) {
        text = LeadingAndTrailingSpacesRemoved(text);
        if (text.size() >= 2 && text.front() == kQuote && text.back() == kQuote) {
            paint(at(text), text.size(), MacroHighlighter::Part::Quoted);
        } else {
            value(unquoted(text), false);
        }
    }

    void notation(std::string_view keys) {
        const std::size_t begin = at(keys);
        for (const KeyNotationPart& part : keyNotationParts(keys)) {
            paint(begin + part.begin, part.length,
                  part.kind == KeyNotationPart::Kind::Braces ? MacroHighlighter::Part::KeyBraces
                                                             : MacroHighlighter::Part::KeyPrefix);
        }
    }

  private:
    const std::string& mLine;
    std::function<void(int, int, const QTextCharFormat&)> mSet;
    std::vector<int> mIndex;
};

}  // namespace

QTextCharFormat MacroHighlighter::format(Part pePart) {
    QTextCharFormat format;
    switch (pePart) {
        case Part::Keyword:
            format.setForeground(QColor(0x00, 0x00, 0xA0));
            break;
        case Part::Comment:
            format.setForeground(QColor(0x00, 0x80, 0x00));
            format.setFontItalic(true);
            break;
        case Part::Quoted:
            format.setForeground(QColor(0xA0, 0x20, 0x20));
            break;
        case Part::Number:
            format.setForeground(QColor(0x80, 0x00, 0x80));
            break;
        case Part::KeyBraces:
            format.setForeground(QColor(0x00, 0x70, 0x80));
            break;
        case Part::KeyPrefix:
            format.setForeground(QColor(0xC0, 0x60, 0x00));
            break;
    }
    return format;
}

namespace {

// The block's user state: whether its colours are as of its last change. A new
// block starts at -1, uncoloured.
constexpr int kColoured = 1;
constexpr int kUncoloured = -1;

}  // namespace

MacroHighlighter::MacroHighlighter(QPlainTextEdit* poEdit) : QObject(poEdit), mEdit(poEdit) {
    // Ahead of the text area's own handling of the change, so the paint that
    // follows an edit finds the changed lines marked.
    connect(mEdit->document(), &QTextDocument::contentsChange, this,
            [this](int piPosition, int, int piAdded) { textChanged(piPosition, piAdded); });
    // Lines scrolled into view are coloured before the view paints them; the
    // paint itself colours only what nothing else did (a first showing).
    connect(mEdit, &QPlainTextEdit::updateRequest, this, [this](const QRect&, int piScrolled) {
        if (piScrolled != 0) highlightVisible();
    });
    mEdit->viewport()->installEventFilter(this);
    mEdit->viewport()->update();
}

MacroHighlighter::~MacroHighlighter() {
    // A text area that is being destroyed deletes its children when it is no
    // longer a text area: only a living one gets its colours taken off.
    auto* edit = qobject_cast<QPlainTextEdit*>(parent());
    if (!edit) return;
    edit->viewport()->removeEventFilter(this);
    QTextDocument* document = edit->document();
    const QSignalBlocker quiet(document);
    QTextCursor change(document);
    change.beginEditBlock();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.userState() == kColoured) {
            block.layout()->clearFormats();
            block.setUserState(kUncoloured);
        }
    }
    change.endEditBlock();
}

bool MacroHighlighter::highlighted(const QTextBlock& poBlock) {
    return poBlock.userState() == kColoured;
}

void MacroHighlighter::textChanged(int piPosition, int piAdded) {
    // The lines at either end of the change lost their colours; the lines in
    // between are new and have none yet (a new block starts uncoloured).
    QTextDocument* document = mEdit->document();
    document->findBlock(piPosition).setUserState(kUncoloured);
    document->findBlock(piPosition + piAdded).setUserState(kUncoloured);
    // Coloured once the change is complete (not while the document still
    // reports it) and before the view paints it: a colouring during the paint
    // would make the view paint twice.
    if (!mbColourQueued) {
        mbColourQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                mbColourQueued = false;
                highlightVisible();
            },
            Qt::QueuedConnection);
    }
}

bool MacroHighlighter::eventFilter(QObject* poWatched, QEvent* poEvent) {
    if (poEvent->type() == QEvent::Paint && poWatched == mEdit->viewport()) highlightVisible();
    return QObject::eventFilter(poWatched, poEvent);
}

void MacroHighlighter::highlightVisible() {
    QTextDocument* document = mEdit->document();
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    const qreal height = mEdit->viewport()->height();
    QTextBlock block = mEdit->cursorForPosition(QPoint(0, 0)).block();
    // Colours change no text: the document keeps its peace (a change of the
    // contents would count as an edit), only its layout hears of it.
    const QSignalBlocker quiet(document);
    QTextCursor edit(document);
    bool editing = false;
    for (qreal top = 0; block.isValid() && top <= height; block = block.next()) {
        if (!block.isVisible()) continue;
        if (block.userState() != kColoured) {
            if (!editing) {
                edit.beginEditBlock();
                editing = true;
            }
            block.layout()->setFormats(formatsOf(block.text()));
            block.setUserState(kColoured);
        }
        top += layout->blockBoundingRect(block).height();
    }
    if (editing) edit.endEditBlock();
}

namespace {

// Paints the parts of one line as a run reads it.
void colourLine(const std::string& line, LinePainter& painter) {
    using Part = MacroHighlighter::Part;
    const Statement statement = ClassifyStatement(line);
    const std::string_view text = LeadingAndTrailingSpacesRemoved(line);
    switch (statement.form) {
        case Statement::Form::Ignored:
            return;
        case Statement::Form::Comment:
            painter.paint(statement.offset, text.size(), Part::Comment);
            return;
        case Statement::Form::Assignment:
            painter.value(std::string_view(line).substr(statement.rightSideOffset), false);
            return;
        case Statement::Form::Command:
            break;
    }
    if (statement.keyword == Keyword::Invalid) return;
    // Known keywords are ASCII: the word's length is its upper-cased length.
    painter.paint(statement.offset, statement.word.size(), Part::Keyword);
    const std::size_t end = statement.offset + text.size();
    const std::string_view parameters =
        std::string_view(line).substr(statement.parametersOffset, end - statement.parametersOffset);
    switch (statement.keyword) {
        case Keyword::SetFocus:
        case Keyword::RunExecute:
            painter.fields(parameters);
            return;
        case Keyword::ShutDownWindows:
            painter.fields(painter.unquoted(parameters));
            return;
        case Keyword::Send:
            painter.value(painter.unquoted(parameters), true);
            return;
        default:
            painter.unquotedValue(parameters);
            return;
    }
}

}  // namespace

QList<QTextLayout::FormatRange> MacroHighlighter::formatsOf(const QString& psvText) {
    QList<QTextLayout::FormatRange> ranges;
    const std::string line = psvText.toStdString();
    LinePainter painter(line, [&ranges](int piStart, int piCount, const QTextCharFormat& f) {
        ranges.append({piStart, piCount, f});
    });
    colourLine(line, painter);
    return ranges;
}

}  // namespace tarn::editor
