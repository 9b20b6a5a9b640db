// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The questions and reports about the macro's file on disk beside the text.
// Another program may change the file while it is open: the user is told once
// for every state of it, and a save asks before it writes over a change it has
// not loaded. A save cut short may have left the only whole copy of a text
// beside the file: opening the file offers it, and only the user removes it. A
// line too long to open again is told before a save writes it, and bytes of a
// UTF-8 file that are not UTF-8 are shown where they are when it opens.

#include <QString>
#include <functional>
#include <vector>

#include "MacroFileIO.h"

namespace tarn::editor {

class EditorPrompts;
class MacroDocument;

class DiskQuestions {
  public:
    DiskQuestions(MacroDocument& poDocument, EditorPrompts& poUser)
        : mDocument(poDocument), mUser(poUser) {}

    // A question about another program's change is open: the watch asks no
    // more meanwhile.
    bool asking() const { return mbAsking; }
    // The file is as `now` says: when that is news, the user is told (a file
    // gone) or asked whether to load it again, which poReload does.
    void tellChange(const FileStamp& now, const std::function<void()>& poReload);
    // Before a save over psvPath, the document's file: true unless another
    // program changed it since and the user does not want it saved over.
    bool confirmSaveOver(const QString& psvPath);
    // Before a save: true unless a line is too long to open again and the
    // user does not want it saved anyway.
    bool confirmLongLines(const QString& psvText);
    // The copy to open in place of the file, or empty for the file itself.
    QString offerLeftoverCopy(const QString& psvPath);
    void reportStrays(const QString& psvPath, const std::vector<StrayByte>& poStrays);

  private:
    MacroDocument& mDocument;
    EditorPrompts& mUser;
    bool mbAsking = false;
};

}  // namespace tarn::editor
