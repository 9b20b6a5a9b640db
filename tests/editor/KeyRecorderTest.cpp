// SPDX-License-Identifier: GPL-3.0-or-later
// The recorder's rules that typing on a real display cannot reach (the
// layouts, chords and modifier timing are played back for real in
// RecorderPlaybackTest): auto-repeat with and without the platform's flag,
// keys whose release went to another window, and every character of text
// playing back as itself.
#include <gtest/gtest.h>

#include <string>

#include "KeyNotation.h"
#include "KeyRecorder.h"

namespace tarn::editor {
namespace {

// Steps as "<what><key><time>" apart by spaces: what is d (down), u (up), r (a
// press flagged as auto-repeat) or f alone (the focus lost); the key a letter
// typing itself, ^ Control or + Shift; the time in milliseconds. Each key
// carries the modifiers held before it.
QString record(const char* psvSteps) {
    KeyRecorder recorder;
    QString written;
    Qt::KeyboardModifiers held;
    for (const QString& step : QString::fromLatin1(psvSteps).split(QLatin1Char(' '))) {
        if (step == QLatin1String("f")) {
            recorder.keysUp();
            held = {};
            continue;
        }
        const QChar c = step[1];
        const Qt::KeyboardModifier modifier = c == '^'   ? Qt::ControlModifier
                                              : c == '+' ? Qt::ShiftModifier
                                                         : Qt::NoModifier;
        RecorderKey key;
        key.press = step[0] != 'u';
        key.autoRepeat = step[0] == 'r';
        key.key = c == '^'   ? Qt::Key_Control
                  : c == '+' ? Qt::Key_Shift
                             : Qt::Key_A + (c.toLower().unicode() - 'a');
        key.text = modifier != Qt::NoModifier ? QString() : QString(c);
        key.id = quint32(key.key);
        key.time = step.mid(2).toULongLong();
        key.modifiers = held;
        if (modifier != Qt::NoModifier) held.setFlag(modifier, key.press);
        written += recorder.key(key);
    }
    return written;
}

TEST(KeyRecorder, AHeldKeyIsOneKey) {
    const struct {
        const char* name;
        const char* steps;
        const char* written;
    } cases[] = {
        {"repeats flagged", "dx10 rx500 ux900", "x"},
        {"presses with no release between", "dx10 dx500 dx530 ux900", "x"},
        {"a release and a press at one time stamp", "dx10 ux500 dx500 ux530 dx530 ux900", "x"},
        {"typed twice", "dx10 ux80 dx150 ux220", "xx"},
        {"a held Shift over a held letter", "d+10 r+500 dA600 dA1100 uA1200 u+1300", "A"},
        {"the releases went to another window", "dx10 d^20 f dx900 ux950 d^960 u^990", "xx^()"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(record(c.steps), QString::fromUtf8(c.written)) << c.name;
}

// Any character a layout can type, written as text, types that character.
TEST(KeyRecorder, TextPlaysBackAsItself) {
    std::u32string characters = U"äöüßéèçàùœ€@£§°²µ×÷¿¡«»";
    for (char32_t c = 0x20; c < 0x7f; ++c)
        characters += c;
    for (char32_t c : characters) {
        const QString notation = notationOfText(QString::fromUcs4(&c, 1));
        const KeySequence expected{{KeyEvent::Type::Press, Key::Character, c},
                                   {KeyEvent::Type::Release, Key::Character, c}};
        EXPECT_EQ(parseKeys(notation.toStdString()), expected) << notation.toStdString();
    }
}

}  // namespace
}  // namespace tarn::editor
