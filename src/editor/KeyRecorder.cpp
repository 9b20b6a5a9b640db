// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyRecorder.h"

#include <QKeyEvent>

#include <algorithm>
#include <string>

#include "KeyComposer.h"

namespace tarn::editor {

namespace {

// Modifier keys that the notation has no prefix for (AltGr, the logo keys):
// they change what the next key types, and are written through it.
constexpr int kOtherModifier = 8;

bool isText(const QString& psvText) {
    if (psvText.isEmpty()) return false;
    return std::none_of(psvText.begin(), psvText.end(), [](QChar c) {
        return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
    });
}

// The character of a key held with Ctrl or Alt, as the layout names the key:
// the text of such a chord is a control character or nothing.
QString chordCharacter(const RecorderKey& poKey, bool pbShift) {
    QString character;
    if (poKey.key >= Qt::Key_Space && poKey.key < Qt::Key_Escape) {
        const char32_t code = char32_t(poKey.key);
        character = QString::fromUcs4(&code, 1);
    } else if (isText(poKey.text)) {
        character = poKey.text;
    }
    return pbShift ? character.toUpper() : character.toLower();
}

}  // namespace

RecorderKey RecorderKey::of(const QKeyEvent& poEvent) {
    RecorderKey key;
    key.press = poEvent.type() == QEvent::KeyPress;
    key.key = poEvent.key();
    key.text = poEvent.text();
    key.modifiers = poEvent.modifiers();
    key.id = poEvent.nativeScanCode() != 0 ? poEvent.nativeScanCode() : quint32(poEvent.key());
    key.keysym = poEvent.nativeVirtualKey();
    key.autoRepeat = poEvent.isAutoRepeat();
    return key;
}

QString keyName(int piQtKey) {
    if (piQtKey >= Qt::Key_F1 && piQtKey <= Qt::Key_F16)
        return QStringLiteral("{F%1}").arg(piQtKey - Qt::Key_F1 + 1);
    switch (piQtKey) {
        case Qt::Key_Backspace:
            return QStringLiteral("{BS}");
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return QStringLiteral("{TAB}");
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return QStringLiteral("{ENTER}");
        case Qt::Key_Pause:
            return QStringLiteral("{BREAK}");
        case Qt::Key_CapsLock:
            return QStringLiteral("{CAPSLOCK}");
        case Qt::Key_Escape:
            return QStringLiteral("{ESC}");
        case Qt::Key_PageUp:
            return QStringLiteral("{PGUP}");
        case Qt::Key_PageDown:
            return QStringLiteral("{PGDN}");
        case Qt::Key_End:
            return QStringLiteral("{END}");
        case Qt::Key_Home:
            return QStringLiteral("{HOME}");
        case Qt::Key_Left:
            return QStringLiteral("{LEFT}");
        case Qt::Key_Up:
            return QStringLiteral("{UP}");
        case Qt::Key_Right:
            return QStringLiteral("{RIGHT}");
        case Qt::Key_Down:
            return QStringLiteral("{DOWN}");
        case Qt::Key_Print:
            return QStringLiteral("{PRTSC}");
        case Qt::Key_Insert:
            return QStringLiteral("{INS}");
        case Qt::Key_Delete:
            return QStringLiteral("{DEL}");
        case Qt::Key_NumLock:
            return QStringLiteral("{NUMLOCK}");
        case Qt::Key_ScrollLock:
            return QStringLiteral("{SCROLLLOCK}");
        default:
            return QString();
    }
}

QString notationOfText(const QString& psvText) {
    QString notation;
    for (QChar c : psvText) {
        if (QStringView(u"+^%~(){}[]").contains(c))
            notation += QLatin1Char('{') + c + QLatin1Char('}');
        else
            notation += c;
    }
    return notation;
}

QString chordPrefix(bool pbAlt, bool pbCtrl, bool pbShift) {
    QString prefix;
    if (pbShift) prefix += QLatin1Char('+');
    if (pbCtrl) prefix += QLatin1Char('^');
    if (pbAlt) prefix += QLatin1Char('%');
    return prefix;
}

int KeyRecorder::roleOf(int piQtKey) {
    switch (piQtKey) {
        case Qt::Key_Shift:
            return kShift;
        case Qt::Key_Control:
            return kCtrl;
        case Qt::Key_Alt:
            return kAlt;
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_Mode_switch:
            return kOtherModifier;
        default:
            return kNone;
    }
}

KeyRecorder::KeyRecorder() : composer_(std::make_unique<KeyComposer>()) {}

KeyRecorder::~KeyRecorder() = default;

QString KeyRecorder::key(const RecorderKey& poKey) {
    if (isRepeat(poKey)) return QString();
    return poKey.press ? pressed(poKey) : released(poKey);
}

bool KeyRecorder::isRepeat(const RecorderKey& poKey) const {
    if (poKey.autoRepeat && !heldKeysAsPresses_) return true;
    return poKey.press &&
           std::any_of(down_.begin(), down_.end(), [&](const Down& d) { return d.id == poKey.id; });
}

QString KeyRecorder::pressed(const RecorderKey& poKey) {
    const int role = roleOf(poKey.key);
    down_.append({poKey.id, role});
    if (role != kNone) {
        if (role != kOtherModifier) untouched_ |= role;
        return QString();
    }
    untouched_ = 0;
    std::string composed;
    switch (composer_->press(poKey.keysym, composed)) {
        case KeyComposer::Step::Composing:
            return QString();
        case KeyComposer::Step::Composed:
            return typed(QString::fromStdString(composed));
        case KeyComposer::Step::Passed:
        case KeyComposer::Step::Cancelled:
            break;
    }
    const bool shift = poKey.modifiers.testFlag(Qt::ShiftModifier);
    const bool ctrl = poKey.modifiers.testFlag(Qt::ControlModifier);
    const bool alt = poKey.modifiers.testFlag(Qt::AltModifier);
    const QString name = keyName(poKey.key);
    if (!name.isEmpty())
        return add(chordPrefix(alt, ctrl, shift || poKey.key == Qt::Key_Backtab), name);
    if (ctrl || alt) {
        const QString character = chordCharacter(poKey, shift);
        if (character.isEmpty()) return QString();
        return add(chordPrefix(alt, ctrl, shift), notationOfText(character));
    }
    // Shift and AltGr are in the text already.
    return typed(poKey.text);
}

QString KeyRecorder::released(const RecorderKey& poKey) {
    int role = roleOf(poKey.key);
    const auto at =
        std::find_if(down_.begin(), down_.end(), [&](const Down& d) { return d.id == poKey.id; });
    if (at != down_.end()) {
        role = at->role;
        down_.erase(at);
    } else if (role == kNone) {
        // An input method took the key's press (a dead key): it was pressed.
        untouched_ = 0;
    }
    if (role == kNone || role == kOtherModifier) return QString();
    int held = 0;
    for (const Down& d : down_)
        held |= d.role;
    held &= kShift | kCtrl | kAlt;
    if ((untouched_ & role) && !(held & role)) tapped_ |= role;
    untouched_ &= held;
    if (held != 0) return QString();
    QString written = flush();
    if (tapped_ != 0) {
        written +=
            chordPrefix(tapped_ & kAlt, tapped_ & kCtrl, tapped_ & kShift) + QStringLiteral("()");
        tapped_ = 0;
    }
    return written;
}

QString KeyRecorder::composed(const QString& psvText) {
    untouched_ = 0;
    return typed(psvText);
}

QString KeyRecorder::typed(const QString& psvText) {
    if (!isText(psvText)) return QString();
    return add(QString(), notationOfText(psvText));
}

void KeyRecorder::keysUp() {
    down_.clear();
    untouched_ = 0;
    tapped_ = 0;
    composer_->reset();
}

QString KeyRecorder::add(const QString& psvPrefix, const QString& psvElement) {
    QString written;
    if (psvPrefix.isEmpty() || psvPrefix != prefix_) written = flush();
    if (psvPrefix.isEmpty()) return written + psvElement;
    prefix_ = psvPrefix;
    keys_ += psvElement;
    ++keyCount_;
    return written;
}

QString KeyRecorder::flush() {
    if (keyCount_ == 0) return QString();
    const QString chord =
        keyCount_ == 1 ? prefix_ + keys_ : prefix_ + QLatin1Char('(') + keys_ + QLatin1Char(')');
    prefix_.clear();
    keys_.clear();
    keyCount_ = 0;
    return chord;
}

}  // namespace tarn::editor
