// SPDX-License-Identifier: GPL-3.0-or-later
// The recorder's rules that typing on a real display cannot reach, or not
// every time (the layouts, chords, dead keys and machine speed are played
// back for real in RecorderPlaybackTest): repeats as each desktop reports
// them, dead keys composed in the order of the keys, keys whose release went
// to another window, and every character of text playing back as itself.
#include <gtest/gtest.h>

#include <QString>
#include <string>

#include "KeyNotation.h"
#include "KeyRecorder.h"

namespace tarn::editor::test {
namespace {

// Steps apart by spaces: "<what><key>", what being d (down), u (up), D or U
// (flagged as a repeat by the toolkit), or f alone (the focus lost); the key
// a letter typing itself, ^ Control, + Shift, or the dead keys ´ and ` . Each
// key carries the modifiers held before it.
QString record(const char* steps, bool heldKeysAsPresses = false) {
    KeyRecorder recorder;
    recorder.setHeldKeysAsPresses(heldKeysAsPresses);
    QString written;
    Qt::KeyboardModifiers held;
    for (const QString& step : QString::fromUtf8(steps).split(QLatin1Char(' '))) {
        if (step == QLatin1String("f")) {
            recorder.keysUp();
            held = {};
            continue;
        }
        const QChar what = step[0], c = step[1];
        RecorderKey key;
        key.press = what.toLower() == QLatin1Char('d');
        key.autoRepeat = what.isUpper();
        key.modifiers = held;
        if (c == QLatin1Char('^') || c == QLatin1Char('+')) {
            const bool ctrl = c == QLatin1Char('^');
            key.key = ctrl ? Qt::Key_Control : Qt::Key_Shift;
            key.keysym = ctrl ? 0xffe3 : 0xffe1;  // Control_L, Shift_L
            held.setFlag(ctrl ? Qt::ControlModifier : Qt::ShiftModifier, key.press);
        } else if (c == u'´' || c == u'`') {
            key.key = c == u'´' ? Qt::Key_Dead_Acute : Qt::Key_Dead_Grave;
            key.keysym = c == u'´' ? 0xfe51 : 0xfe50;  // dead_acute, dead_grave
        } else {
            key.key = Qt::Key_A + (c.toLower().unicode() - 'a');
            key.text = QString(c);
            key.keysym = c.unicode();  // Latin-1 letters are their own key symbols
        }
        key.id = quint32(key.key);
        written += recorder.key(key);
    }
    return written;
}

struct Case {
    const char* name;
    const char* steps;
    const char* written;
};

TEST(KeyRecorder, AHeldKeyIsOneKeyAndTwoTapsAreTwo) {
    // The toolkit's repeat flag believed: Wayland, or X without detectable
    // auto-repeat (a release and a press at one time stamp per repeat).
    const Case believed[] = {
        {"release and press pairs flagged", "dx Ux Dx Ux Dx ux", "x"},
        {"presses with no release between", "dx dx dx ux", "x"},
        {"typed twice", "dx ux dx ux", "xx"},
        {"a held Shift over a held letter", "d+ D+ dA DA uA u+", "A"},
        {"the releases went to another window", "dx d^ f dx ux d^ u^", "xx^()"},
    };
    for (const Case& c : believed)
        EXPECT_EQ(record(c.steps).toStdString(), c.written) << c.name;
    // Held keys as presses only (X with detectable auto-repeat): the flag is
    // the toolkit's guess from one millisecond, and two real taps there are
    // two keys.
    const Case pressesOnly[] = {
        {"two taps in one millisecond, flagged", "dx Ux Dx ux", "xx"},
        {"ten taps, every pair flagged", "dl Ul Dl Ul Dl Ul Dl Ul Dl ul", "lllll"},
        {"presses with no release between", "dx dx dx ux", "x"},
        {"a held Shift over a held letter", "d+ d+ dA dA uA u+", "A"},
    };
    for (const Case& c : pressesOnly)
        EXPECT_EQ(record(c.steps, true).toStdString(), c.written) << c.name;
}

// By the compose table of the locale, as the toolkit's input method composes.
TEST(KeyRecorder, DeadKeysComposeInTheOrderOfTheKeys) {
    const Case cases[] = {
        {"a ´ e x ´ a", "da ua d´ u´ de ue dx ux d´ u´ da ua", "aéxá"},
        {"the next key down before the composing key is up", "d´ u´ de dx ue ux", "éx"},
        {"Shift up before the dead key", "d+ d` u+ u` de ue", "è"},
        {"Shift up before the dead key, a capital", "d+ d` dE u+ u` uE", "È"},
        {"the dead key twice", "d´ u´ d´ u´", "´"},
        {"the focus lost in between", "d´ u´ f de ue", "e"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(record(c.steps).toStdString(), c.written) << c.name;
}

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
}  // namespace tarn::editor::test
