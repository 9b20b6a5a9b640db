#include "KeyRecorder.h"

namespace tarn::editor {

QString keyNotation(int piKeyCode, bool pbShift) {
    using namespace KeyCodes;
    // Keys whose notation does not depend on Shift.
    switch (piKeyCode) {
        case kBackspace:
            return QStringLiteral("{BS}");
        case kTab:
            return QStringLiteral("{TAB}");
        case kEnter:
            return QStringLiteral("{ENTER}");
        case kPause:
            return QStringLiteral("{BREAK}");
        case kCapsLock:
            return QStringLiteral("{CAPSLOCK}");
        case kEscape:
            return QStringLiteral("{ESC}");
        case kSpace:
            return QStringLiteral(" ");
        case kPageUp:
            return QStringLiteral("{PGUP}");
        case kPageDown:
            return QStringLiteral("{PGDN}");
        case kEnd:
            return QStringLiteral("{END}");
        case kHome:
            return QStringLiteral("{HOME}");
        case kLeft:
            return QStringLiteral("{LEFT}");
        case kUp:
            return QStringLiteral("{UP}");
        case kRight:
            return QStringLiteral("{RIGHT}");
        case kDown:
            return QStringLiteral("{DOWN}");
        case kPrintScreen:
            return QStringLiteral("{PRTSC}");
        case kInsert:
            return QStringLiteral("{INS}");
        case kDelete:
            return QStringLiteral("{DEL}");
        case kMultiply:
            return QStringLiteral("*");
        case kAdd:
            return QStringLiteral("{+}");
        case kSubtract:
            return QStringLiteral("-");
        case kDecimal:
            return QStringLiteral(".");
        case kDivide:
            return QStringLiteral("/");
        case kNumLock:
            return QStringLiteral("{NUMLOCK}");
        case kScrollLock:
            return QStringLiteral("{SCROLLLOCK}");
        default:
            break;
    }
    if (piKeyCode >= kNumpad0 && piKeyCode <= kNumpad0 + 9)
        return QString(QChar(u'0' + (piKeyCode - kNumpad0)));
    if (piKeyCode >= kF1 && piKeyCode <= kF1 + 11)
        return QStringLiteral("{F%1}").arg(piKeyCode - kF1 + 1);
    if (piKeyCode >= kA && piKeyCode <= kA + 25)
        return QString(QChar((pbShift ? u'A' : u'a') + (piKeyCode - kA)));
    if (piKeyCode >= k0 && piKeyCode <= k0 + 9) {
        // The characters above the digits of a United States keyboard.
        static const char* const shifted[10] = {"{)}", "!",   "@", "#", "$",
                                                "{%}", "{^}", "&", "*", "{(}"};
        return pbShift ? QString::fromLatin1(shifted[piKeyCode - k0])
                       : QString(QChar(u'0' + (piKeyCode - k0)));
    }
    struct Punctuation {
        int code;
        const char* plain;
        const char* shifted;
    };
    static constexpr Punctuation punctuation[] = {
        {kSemicolon, ";", ":"},   {kEquals, "=", "{+}"},
        {kComma, ",", "<"},       {kMinus, "-", "_"},
        {kPeriod, ".", ">"},      {kSlash, "/", "?"},
        {kBackQuote, "`", "{~}"}, {kLeftBracket, "{[}", "{{}"},
        {kBackslash, "\\", "|"},  {kRightBracket, "{]}", "{}}"},
        {kQuote, "'", "\""},
    };
    for (const Punctuation& key : punctuation) {
        if (key.code == piKeyCode) return QString::fromLatin1(pbShift ? key.shifted : key.plain);
    }
    // Modifiers, system keys and keys of no United States key: nothing. (Their
    // codes read as characters would give bare "[", "]", "+" or ")", which
    // would not play back.)
    return QString();
}

QString chordPrefix(bool pbAlt, bool pbCtrl, bool pbShift) {
    QString prefix;
    if (pbShift) prefix += QLatin1Char('+');
    if (pbCtrl) prefix += QLatin1Char('^');
    if (pbAlt) prefix += QLatin1Char('%');
    return prefix;
}

void KeyRecorder::keyDown(int piModifierMask) {
    if (!chordOpen_) {
        alt_ = ctrl_ = shift_ = false;
        if (piModifierMask != 0) chordOpen_ = true;
    }
    // Flags are only gathered here, never cleared: a chord collects every
    // modifier seen during it.
    if (piModifierMask & ModifierMask::kShift) shift_ = true;
    if (piModifierMask & ModifierMask::kCtrl) ctrl_ = true;
    if (piModifierMask & ModifierMask::kAlt) alt_ = true;
}

std::optional<QString> KeyRecorder::keyUp(int piKeyCode, int piModifierMask) {
    const QString notation = keyNotation(piKeyCode, shift_);
    if (!notation.isEmpty()) {
        keys_ += notation;
        ++keyCount_;
    }
    if (piModifierMask != 0) return std::nullopt;

    const QString prefix = chordPrefix(alt_, ctrl_, shift_);
    alt_ = ctrl_ = shift_ = false;
    QString chord;
    if (prefix.isEmpty())
        chord = keys_;
    else if (keyCount_ == 0)
        chord = prefix + QStringLiteral("()");
    else if (keyCount_ == 1)
        chord = prefix + keys_;
    else
        chord = prefix + QLatin1Char('(') + keys_ + QLatin1Char(')');
    keys_.clear();
    keyCount_ = 0;
    chordOpen_ = false;
    return chord;
}

}  // namespace tarn::editor
