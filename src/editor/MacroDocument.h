// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The macro being edited, apart from the window that shows it: its file's
// name and format (encoding, byte order mark, the end of every line), whether
// it changed since it was last loaded, saved or cleared, and the one-level
// undo copy. It follows the text area's document, which holds the text itself,
// and needs no widget: the window asks the user and moves the caret, the
// document keeps the record.
//
// The undo copy is never a copy: the text document's own history, cleared
// whenever the copy is taken, holds what changed since, and rolling it back
// brings the copy's text back. The empty copy (after New and Undo) is a flag.

#include <QMetaObject>
#include <QString>
#include <vector>

#include "MacroFileIO.h"

class QTextDocument;

namespace tarn::editor {

class MacroDocument {
  public:
    // Follows every change of the text from here on.
    explicit MacroDocument(QTextDocument& text);
    ~MacroDocument();
    MacroDocument(const MacroDocument&) = delete;
    MacroDocument& operator=(const MacroDocument&) = delete;

    QTextDocument& text() const { return text_; }
    // The full path of the file; empty for "Untitled".
    const QString& fileName() const { return fileName_; }
    const MacroFileFormat& format() const { return format_; }
    bool dirty() const { return dirty_; }
    // Undo changes the text even when it brings back the same.
    void markDirty() { dirty_ = true; }

    // The text now in the document is the file's, read in this format (an
    // empty name is the untitled text) from a file that was as the stamp
    // says: clean, and the undo copy is the text.
    void opened(const QString& path, MacroFileFormat format, FileStamp stamp);
    // The text was written to the file in this format and is as the stamp says.
    void saved(const QString& path, MacroFileFormat format, FileStamp stamp);
    // The document was emptied to "Untitled": default format, no undo copy.
    void cleared();

    // The file as the editor last read or wrote it.
    const FileStamp& diskStamp() const { return disk_; }
    // Whether the file as it is now (`now`) is news to the user: another
    // program changed it since the editor last read or wrote it, and the user
    // has not been told of this state of it yet.
    bool isNews(const FileStamp& now) const;
    void told(const FileStamp& now) { told_ = now; }

    // The text going in from a file is no edit of it.
    void setLoading(bool loading) { loading_ = loading; }
    bool loading() const { return loading_; }

    // The one-level undo copy.
    void takeUndoCopy();
    void emptyUndoCopy();
    bool undoEmpty() const { return undoEmpty_; }
    // The text Undo would bring back; for checks, not for every key (the
    // history is rolled back and forth to read it).
    QString undoText() const;
    // Brings back the undo copy's text and line ends (empties the text for an
    // empty copy) and empties the copy; the text is dirty.
    void rollBack();

    // The text most recently built by a Wizard command.
    const QString& lastTemplate() const { return lastTemplate_; }
    void setLastTemplate(const QString& text) { lastTemplate_ = text; }

  private:
    void changed(int position, int removed, int added);
    void restartLineEnds();

    QTextDocument& text_;
    QMetaObject::Connection following_;
    QString fileName_;
    MacroFileFormat format_;
    FileStamp disk_;
    FileStamp told_;
    bool dirty_ = false;
    bool loading_ = false;
    bool undoEmpty_ = true;
    // The line ends of the text Undo goes back to: the history brings back
    // the characters, not which end each line had.
    std::vector<LineEnd> undoLineEnds_;
    // The document's line count at the last change, from which an edit's
    // added and removed lines follow.
    int lineBlocks_ = 1;
    QString lastTemplate_;
};

}  // namespace tarn::editor
