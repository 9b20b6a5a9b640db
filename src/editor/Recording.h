// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The keystroke recording of a text area: while it is on, every key of the
// text area is taken before the text area or a shortcut sees it, turned into
// key notation (KeyRecorder) and inserted at the caret inside the Send
// statement that switching on began.
//
// While recording the text area takes no input method: the recorder composes
// dead keys itself, in the order the keys went down, where the input method's
// composed text would overtake the keys typed before it at machine speed.

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

#include "WizardTemplates.h"

class QEvent;
class QPlainTextEdit;

namespace tarn::editor {

class KeyRecorder;

class Recording {
  public:
    // Records the keys of poText, inserting through poInsert; off at first.
    Recording(QPlainTextEdit& poText, TextInserter poInsert);
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    bool on() const { return mbOn; }
    // Switches on (opens the Send statement: F1 is a key to record then, not
    // a call for help) or off (closes it, help is back).
    void toggle();
    // A key event of the text area (key press, release, shortcut override,
    // the text an input method commits, the loss of the focus): true when
    // recording took it, which is every one but the loss of the focus while on.
    bool take(QEvent* poEvent);

  private:
    TextInserter mInsert;
    std::unique_ptr<KeyRecorder> mRecorder;
    // The text area's answer to the input method, which asks this recording.
    QPointer<QObject> mInputMethodOff;
    bool mbOn = false;
};

}  // namespace tarn::editor
