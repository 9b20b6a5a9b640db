// SPDX-License-Identifier: GPL-3.0-or-later
// The recorder's rules that typing on a real display cannot reach (the
// layouts, chords and modifier timing are played back for real in
// RecorderPlaybackTest): auto-repeat with and without the platform's flag,
// keys whose release went to another window, and every character of text
// playing back as itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KeyNotation.h"
#include "KeyRecorder.h"

namespace tarn::editor {
namespace {

// "d" down, "u" up, "r" a press flagged as auto-repeat, "f" the focus lost;
// keys by their Qt key, with their text; the time in milliseconds.
struct Step {
    char what;
    int key;
    const char* text;
    quint64 time;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

QString record(const std::vector<Step>& steps) {
    KeyRecorder recorder;
    QString written;
    for (const Step& step : steps) {
        if (step.what == 'f') {
            recorder.keysUp();
            continue;
        }
        RecorderKey key;
        key.press = step.what != 'u';
        key.autoRepeat = step.what == 'r';
        key.key = step.key;
        key.text = QString::fromUtf8(step.text);
        key.id = quint32(step.key);
        key.time = step.time;
        key.modifiers = step.modifiers;
        written += recorder.key(key);
    }
    return written;
}

TEST(KeyRecorder, AHeldKeyIsOneKey) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        const char* written;
    };
    const Case cases[] = {
        {"repeats flagged",
         {{'d', Qt::Key_X, "x", 10}, {'r', Qt::Key_X, "x", 500}, {'u', Qt::Key_X, "x", 900}},
         "x"},
        {"presses with no release between",
         {{'d', Qt::Key_X, "x", 10},
          {'d', Qt::Key_X, "x", 500},
          {'d', Qt::Key_X, "x", 530},
          {'u', Qt::Key_X, "x", 900}},
         "x"},
        {"a release and a press at one time stamp",
         {{'d', Qt::Key_X, "x", 10},
          {'u', Qt::Key_X, "x", 500},
          {'d', Qt::Key_X, "x", 500},
          {'u', Qt::Key_X, "x", 530},
          {'d', Qt::Key_X, "x", 530},
          {'u', Qt::Key_X, "x", 900}},
         "x"},
        {"typed twice",
         {{'d', Qt::Key_X, "x", 10},
          {'u', Qt::Key_X, "x", 80},
          {'d', Qt::Key_X, "x", 150},
          {'u', Qt::Key_X, "x", 220}},
         "xx"},
        {"a held Shift over a held letter",
         {{'d', Qt::Key_Shift, "", 10},
          {'r', Qt::Key_Shift, "", 500, Qt::ShiftModifier},
          {'d', Qt::Key_A, "A", 600, Qt::ShiftModifier},
          {'d', Qt::Key_A, "A", 1100, Qt::ShiftModifier},
          {'u', Qt::Key_A, "A", 1200, Qt::ShiftModifier},
          {'u', Qt::Key_Shift, "", 1300, Qt::ShiftModifier}},
         "A"},
        {"the releases went to another window",
         {{'d', Qt::Key_X, "x", 10},
          {'d', Qt::Key_Control, "", 20},
          {'f', 0, "", 0},
          {'d', Qt::Key_X, "x", 900},
          {'u', Qt::Key_X, "x", 950},
          {'d', Qt::Key_Control, "", 960},
          {'u', Qt::Key_Control, "", 990, Qt::ControlModifier}},
         "xx^()"},
    };
    for (const Case& c : cases)
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
