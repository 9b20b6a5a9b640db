// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recovery copy of unsaved text: what an editor had not saved when it was
// killed, crashed or lost its window survives in a file of the user's own,
// to be offered when an editor next starts.
//
// The copies live in $XDG_STATE_HOME/Tarn (~/.local/state/Tarn by default), a
// folder only the user may enter (0700), each copy readable only by the user
// (0600). Each editor window writes its own copy, always whole (a new file
// takes the old one's place), and holds a lock on it while its process lives:
// a copy whose lock nobody holds was left by an editor that is gone.

#include <QDateTime>
#include <QString>
#include <vector>

namespace tarn::editor {

// A copy left by an editor that is gone.
struct LeftText {
    QString copy;      // the recovery file
    QString fileName;  // the macro file the text was of; empty for "Untitled"
    QString text;      // "\n" line breaks
    QDateTime written;
};

class RecoveryFile {
  public:
    RecoveryFile() = default;
    ~RecoveryFile();
    RecoveryFile(const RecoveryFile&) = delete;
    RecoveryFile& operator=(const RecoveryFile&) = delete;

    // Keeps the text (of the macro file fileName, empty for "Untitled") as
    // this window's copy. False when it could not be written (no room, no
    // folder): the editor goes on without a copy.
    bool write(const QString& fileName, const QString& text);
    // The text was saved or discarded: the copy goes.
    void remove();
    // The copy this window writes; empty before the first write.
    const QString& path() const { return path_; }

  private:
    QString path_;
    int lock_ = -1;
};

// The folder of the copies; the first copy written makes it, private to the user.
QString recoveryFolder();

// The copies that editors which are gone left, newest first.
std::vector<LeftText> leftTexts();

// Removes a copy that leftTexts found.
void removeLeftText(const LeftText& left);

}  // namespace tarn::editor
