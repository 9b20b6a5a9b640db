// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recovery copy of a document's unsaved text. A few seconds after the
// last change, a changed text is written to the copy (RecoveryFile); saving or
// discarding the text removes it. An editor killed, crashed or whose window
// was destroyed leaves its copy behind, and the first editor of the next run
// offers it: taken, it comes back as a changed text of its file; declined, it
// is deleted.

#include <QTimer>
#include <functional>

#include "RecoveryFile.h"

class QPlainTextEdit;

namespace tarn::editor {

class EditorPrompts;
class MacroDocument;

class RecoveryCopy {
  public:
    // Puts a text into the empty text area; false when that was given up.
    using Fill = std::function<bool(const QString& psvText)>;

    // Keeps the text of poText, the document's, from here on.
    RecoveryCopy(MacroDocument& poDocument, QPlainTextEdit& poText);

    // Off for good: a trace file in the viewer is no text to keep.
    void stop() { mbStopped = true; }
    // Writes the copy now if the text is changed and not still going in.
    void keep();
    // The text was saved or discarded.
    void drop();

    // Asks about each copy editors that are gone left, the newest first, once
    // a run: poRestore brings back one taken (true when it did, and the rest
    // then wait for the next run); one declined is deleted.
    static bool leftTextsOffered();
    static void offerLeftTexts(EditorPrompts& poUser,
                               const std::function<bool(const LeftText&)>& poRestore);
    // Brings the left text back into the emptied text area through poFill, as
    // a changed text of its file; the copy is this document's then.
    bool restore(const LeftText& poLeft, const Fill& poFill);

  private:
    MacroDocument& mDocument;
    QPlainTextEdit& mText;
    RecoveryFile mFile;
    QTimer mIdle;
    bool mbStopped = false;
};

}  // namespace tarn::editor
