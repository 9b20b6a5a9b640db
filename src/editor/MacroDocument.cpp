// SPDX-License-Identifier: GPL-3.0-or-later
#include "MacroDocument.h"

#include <QObject>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>

#include "EditorText.h"

namespace tarn::editor {

MacroDocument::MacroDocument(QTextDocument& text) : text_(text) {
    // A document reports its changes only once it has a layout; a text area
    // gives it its own, a document on its own gets the default one here.
    text_.documentLayout();
    following_ = QObject::connect(
        &text_, &QTextDocument::contentsChange,
        [this](int position, int removed, int added) { changed(position, removed, added); });
    lineBlocks_ = text_.blockCount();
}

MacroDocument::~MacroDocument() {
    QObject::disconnect(following_);
}

void MacroDocument::changed(int position, int removed, int added) {
    const int blocks = text_.blockCount();
    // A change of formats alone reports equal lengths and moves no break.
    if (removed != added || blocks != lineBlocks_) {
        const int first = text_.findBlock(position).blockNumber();
        QTextBlock last = text_.findBlock(position + added);
        if (!last.isValid()) last = text_.lastBlock();
        const int addedBreaks = std::max(0, last.blockNumber() - first);
        format_.replaceLineBreaks(first, addedBreaks - (blocks - lineBlocks_), addedBreaks);
        lineBlocks_ = blocks;
    }
    if (!loading_ && (removed != 0 || added != 0)) dirty_ = true;
}

void MacroDocument::restartLineEnds() {
    lineBlocks_ = text_.blockCount();
}

void MacroDocument::opened(const QString& path, MacroFileFormat format, FileStamp stamp) {
    fileName_ = path;
    format_ = std::move(format);
    disk_ = std::move(stamp);
    told_ = disk_;
    restartLineEnds();
    dirty_ = false;
    takeUndoCopy();
}

void MacroDocument::saved(const QString& path, MacroFileFormat format, FileStamp stamp) {
    fileName_ = path;
    format_ = std::move(format);
    disk_ = std::move(stamp);
    told_ = disk_;
    dirty_ = false;
    takeUndoCopy();
}

bool MacroDocument::isNews(const FileStamp& now) const {
    const auto same = [](const FileStamp& a, const FileStamp& b) {
        return a.exists == b.exists && a.digest == b.digest;
    };
    return !fileName_.isEmpty() && !same(now, disk_) && !same(now, told_);
}

void MacroDocument::cleared() {
    fileName_.clear();
    format_ = MacroFileFormat();
    disk_ = FileStamp();
    told_ = FileStamp();
    restartLineEnds();
    emptyUndoCopy();
    dirty_ = false;
}

void MacroDocument::takeUndoCopy() {
    text_.clearUndoRedoStacks();
    undoLineEnds_ = format_.lineEnds;
    undoEmpty_ = false;
}

void MacroDocument::emptyUndoCopy() {
    text_.clearUndoRedoStacks();
    undoLineEnds_.clear();
    undoEmpty_ = true;
}

QString MacroDocument::undoText() const {
    if (undoEmpty_) return QString();
    // Back and forth again; nobody listening to the document takes it for an edit.
    const QSignalBlocker quiet(&text_);
    int steps = 0;
    for (; text_.isUndoAvailable(); ++steps)
        text_.undo();
    const QString text = exactText(text_);
    for (; steps > 0; --steps)
        text_.redo();
    return text;
}

void MacroDocument::rollBack() {
    if (undoEmpty_) {
        text_.setPlainText(QString());
    } else {
        while (text_.isUndoAvailable())
            text_.undo();
    }
    format_.lineEnds = std::move(undoLineEnds_);
    restartLineEnds();
    dirty_ = true;
    emptyUndoCopy();
}

}  // namespace tarn::editor
