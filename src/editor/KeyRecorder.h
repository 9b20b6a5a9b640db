#pragma once
// The keystroke recorder's logic: key events of the text area in, key
// notation out. Keys are known by the virtual-key codes of a United States
// keyboard (KeyCodes below; UsKeyboard.h finds them for a physical key) with a
// modifier mask, Shift 1, Ctrl 2, Alt 4, that tells which modifiers are held
// once the event has happened.
//
// A key with no modifier held is written out at its release. Keys typed while
// modifiers are held form a chord, written out at the first release with no
// modifier held (normally that of the last modifier): the modifiers seen
// during the chord as a prefix ("+^%" order), then the key, or the keys in
// parentheses when there are several. A chord of modifiers alone is written
// as the prefix with an empty group ("+()"), which taps the modifier by itself
// when played back; a bare "+" would instead hold Shift for whatever the
// recording goes on with.

#include <QString>

#include <optional>

namespace tarn::editor {

namespace KeyCodes {
inline constexpr int kBackspace = 8;
inline constexpr int kTab = 9;
inline constexpr int kEnter = 13;
inline constexpr int kShift = 16;
inline constexpr int kControl = 17;
inline constexpr int kAlt = 18;
inline constexpr int kPause = 19;
inline constexpr int kCapsLock = 20;
inline constexpr int kEscape = 27;
inline constexpr int kSpace = 32;
inline constexpr int kPageUp = 33;
inline constexpr int kPageDown = 34;
inline constexpr int kEnd = 35;
inline constexpr int kHome = 36;
inline constexpr int kLeft = 37;
inline constexpr int kUp = 38;
inline constexpr int kRight = 39;
inline constexpr int kDown = 40;
inline constexpr int kPrintScreen = 44;
inline constexpr int kInsert = 45;
inline constexpr int kDelete = 46;
inline constexpr int k0 = 48;        // to 57 for 9
inline constexpr int kA = 65;        // to 90 for Z
inline constexpr int kNumpad0 = 96;  // to 105 for 9
inline constexpr int kMultiply = 106;
inline constexpr int kAdd = 107;
inline constexpr int kSubtract = 109;
inline constexpr int kDecimal = 110;
inline constexpr int kDivide = 111;
inline constexpr int kF1 = 112;  // to 123 for F12
inline constexpr int kNumLock = 144;
inline constexpr int kScrollLock = 145;
inline constexpr int kSemicolon = 186;
inline constexpr int kEquals = 187;
inline constexpr int kComma = 188;
inline constexpr int kMinus = 189;
inline constexpr int kPeriod = 190;
inline constexpr int kSlash = 191;
inline constexpr int kBackQuote = 192;
inline constexpr int kLeftBracket = 219;
inline constexpr int kBackslash = 220;
inline constexpr int kRightBracket = 221;
inline constexpr int kQuote = 222;
}  // namespace KeyCodes

namespace ModifierMask {
inline constexpr int kShift = 1;
inline constexpr int kCtrl = 2;
inline constexpr int kAlt = 4;
}  // namespace ModifierMask

// What one key appends to a chord: its notation from the key table, letters
// and the space bar; empty for every other key (modifiers, unknown keys).
QString keyNotation(int piKeyCode, bool pbShift);

// The prefix of a chord with these modifiers, in the order "+", "^", "%".
QString chordPrefix(bool pbAlt, bool pbCtrl, bool pbShift);

class KeyRecorder {
  public:
    // A key went down while recording.
    void keyDown(int piModifierMask);
    // A key came up while recording. Returns the chord to insert when this
    // release ends it (possibly empty), nothing while the chord goes on.
    std::optional<QString> keyUp(int piKeyCode, int piModifierMask);

    // A chord is open and keys are gathered but not yet written.
    bool chordOpen() const { return chordOpen_; }
    const QString& pendingKeys() const { return keys_; }

  private:
    bool alt_ = false;
    bool ctrl_ = false;
    bool shift_ = false;
    bool chordOpen_ = false;
    QString keys_;
    int keyCount_ = 0;
};

}  // namespace tarn::editor
