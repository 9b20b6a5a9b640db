// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The keystroke recorder's logic: key events of the text area in, key
// notation out. It reads only what Qt gives on every platform (the key, the
// text the active layout produced, the modifiers, the physical key and its key
// symbol), so it records the same on X11 and Wayland and on any layout.
//
// - A key that produces text records that text, the notation's special
//   characters braced: on a German keyboard Z records "z", AltGr+Q "@".
//   Shift is part of how the character came about, so it writes no prefix.
// - A key without text records its braced name ("{F5}", "{ENTER}"), with
//   the modifiers held at its press as prefix ("+{TAB}").
// - With Ctrl or Alt held a key records the prefix and the character of its
//   key in the layout ("^c", "%f", "+^C"): the text of such a chord is a
//   control character or nothing.
// - The modifiers are those held when the key went down: Shift released
//   before the letter's own release still belongs to it.
// - Keys typed under the same modifiers while they stay down form one chord
//   ("^(ab)"), written out when the last modifier comes up or when a key
//   under other modifiers goes down.
// - A modifier pressed and released with nothing pressed while it was down
//   writes the prefix with an empty group ("+()"), a tap of it when played;
//   a bare "+" would hold Shift for whatever the recording goes on with.
// - Dead keys and the Compose key are composed here, by the compose table
//   of the locale, in the order the keys went down; the editor keeps the
//   input method out of the way while recording, whose composed text would
//   overtake the keys typed before it.
// - A held key is one key: a repeat is a press of a key that is down
//   already. Where the desktop reports held keys so, the toolkit's repeat
//   flag is ignored: on X it guesses it from a release and a press of the
//   same key in one millisecond, which is also two real taps at machine
//   speed. Elsewhere the flag is believed.

#include <QList>
#include <QString>
#include <Qt>

#include <memory>

class QKeyEvent;

namespace tarn {
class KeyComposer;
}

namespace tarn::editor {

// One key event as the recorder reads it.
struct RecorderKey {
    bool press = true;
    int key = 0;                      // Qt::Key
    QString text;                     // what the active layout produced
    Qt::KeyboardModifiers modifiers;  // held at the event
    quint32 id = 0;                   // the physical key: native scan code, the Qt key without one
    quint32 keysym = 0;               // the key symbol the layout gives it; 0 when unknown
    bool autoRepeat = false;          // flagged as a repeat by the platform

    static RecorderKey of(const QKeyEvent& poEvent);
};

// The braced name of a key that types no text ("{F5}"), empty for others.
QString keyName(int piQtKey);

// Text as it types itself in the notation: its special characters braced.
QString notationOfText(const QString& psvText);

// The prefix of a chord with these modifiers, in the order "+", "^", "%".
QString chordPrefix(bool pbAlt, bool pbCtrl, bool pbShift);

class KeyRecorder {
  public:
    KeyRecorder();
    ~KeyRecorder();

    // Whether the desktop reports a held key as presses without releases (X
    // with detectable auto-repeat): then the repeat flag is not believed.
    void setHeldKeysAsPresses(bool on) { heldKeysAsPresses_ = on; }

    // A key event while recording; returns the notation to insert now (empty
    // when nothing is written yet).
    QString key(const RecorderKey& poKey);
    // Text an input method committed (a character composed with a dead key):
    // typed text, written at once.
    QString composed(const QString& psvText);

    // The keys are up as far as the recorder can know: the text area lost
    // the focus, and the releases of keys still down go elsewhere. A dead
    // key's sequence is forgotten; keys of a chord gathered but not written
    // yet stay pending.
    void keysUp();

  private:
    enum Role { kNone = 0, kShift = 1, kCtrl = 2, kAlt = 4 };
    static int roleOf(int piQtKey);
    bool isRepeat(const RecorderKey& poKey) const;
    QString pressed(const RecorderKey& poKey);
    QString released(const RecorderKey& poKey);
    // Text typed by a key or composed: written at once.
    QString typed(const QString& psvText);
    // Adds one element under a prefix, writing out what it ends.
    QString add(const QString& psvPrefix, const QString& psvElement);
    QString flush();

    // Keys down, by physical key, with the modifier role each has.
    struct Down {
        quint32 id;
        int role;
    };
    QList<Down> down_;
    bool heldKeysAsPresses_ = false;
    std::unique_ptr<KeyComposer> composer_;
    int untouched_ = 0;  // modifiers down with nothing pressed since their press
    int tapped_ = 0;     // modifiers pressed and released alone, to write
    QString prefix_;     // the chord gathered: its prefix, keys and count
    QString keys_;
    int keyCount_ = 0;
};

}  // namespace tarn::editor
