// The recorder's logic fed with key events (United States key codes and the
// modifier mask after each event), and every chord it can write played back
// through the key notation of Send.
#include <gtest/gtest.h>

#include <QKeyEvent>

#include <string>
#include <vector>

#include "Failure.h"
#include "KeyNotation.h"
#include "KeyRecorder.h"
#include "UsKeyboard.h"

namespace tarn::editor {
namespace {

using namespace KeyCodes;
constexpr int S = ModifierMask::kShift, C = ModifierMask::kCtrl, A = ModifierMask::kAlt;

// "d" key down, "u" key up: code and the mask held after the event.
struct Step {
    char what;
    int code;
    int mask;
};

QString record(const std::vector<Step>& steps) {
    KeyRecorder recorder;
    QString written;
    for (const Step& step : steps) {
        if (step.what == 'd') {
            recorder.keyDown(step.mask);
        } else if (const std::optional<QString> chord = recorder.keyUp(step.code, step.mask)) {
            written += *chord;
        }
    }
    return written;
}

TEST(KeyRecorder, WritesTheseChords) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        const char* written;
    };
    const Case cases[] = {
        {"three letters",
         {{'d', kA, 0},
          {'u', kA, 0},
          {'d', kA + 1, 0},
          {'u', kA + 1, 0},
          {'d', kA + 2, 0},
          {'u', kA + 2, 0}},
         "abc"},
        {"Ctrl+C",
         {{'d', kControl, C}, {'d', kA + 2, C}, {'u', kA + 2, C}, {'u', kControl, 0}},
         "^c"},
        {"Ctrl with a and b",
         {{'d', kControl, C},
          {'d', kA, C},
          {'u', kA, C},
          {'d', kA + 1, C},
          {'u', kA + 1, C},
          {'u', kControl, 0}},
         "^(ab)"},
        {"Shift+a", {{'d', kShift, S}, {'d', kA, S}, {'u', kA, S}, {'u', kShift, 0}}, "+A"},
        {"Ctrl+Alt+Delete",
         {{'d', kControl, C},
          {'d', kAlt, C | A},
          {'d', kDelete, C | A},
          {'u', kDelete, C | A},
          {'u', kAlt, C},
          {'u', kControl, 0}},
         "^%{DEL}"},
        {"Shift alone, then a",
         {{'d', kShift, S}, {'u', kShift, 0}, {'d', kA, 0}, {'u', kA, 0}},
         "+()a"},
        {"Shift+5 and Shift+=",
         {{'d', kShift, S},
          {'d', k0 + 5, S},
          {'u', k0 + 5, S},
          {'u', kShift, 0},
          {'d', kShift, S},
          {'d', kEquals, S},
          {'u', kEquals, S},
          {'u', kShift, 0}},
         "+{%}+{+}"},
        {"modifiers released in any order gather",
         {{'d', kShift, S},
          {'d', kControl, S | C},
          {'u', kShift, C},
          {'d', kA, C},
          {'u', kA, C},
          {'u', kControl, 0}},
         "+^A"},
        {"F1 and keys of no table entry",
         {{'d', kF1, 0}, {'u', kF1, 0}, {'d', 91, 0}, {'u', 91, 0}, {'d', 41, 0}, {'u', 41, 0}},
         "{F1}"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(record(c.steps), QString::fromUtf8(c.written)) << c.name;
}

TEST(KeyRecorder, KeyTableAndPrefixTable) {
    // A sample of each row kind; the whole table is played back below.
    EXPECT_EQ(keyNotation(k0 + 9, true), "{(}");
    EXPECT_EQ(keyNotation(kNumpad0 + 7, true), "7");
    EXPECT_EQ(keyNotation(kF1 + 11, false), "{F12}");
    EXPECT_EQ(keyNotation(kQuote, true), "\"");
    EXPECT_EQ(keyNotation(kBackslash, false), "\\");
    EXPECT_EQ(keyNotation(kBackQuote, true), "{~}");
    EXPECT_EQ(keyNotation(kShift, true), "");
    EXPECT_EQ(chordPrefix(true, true, true), "+^%");
    EXPECT_EQ(chordPrefix(true, false, true), "+%");
    EXPECT_EQ(chordPrefix(true, true, false), "^%");
}

// What a chord of one key with these modifiers must type: the modifiers
// pressed, the key tapped, the modifiers released.
KeySequence expectedChord(const KeySequence& key, bool shift, bool ctrl, bool alt) {
    KeySequence out;
    const Key order[] = {Key::Shift, Key::Control, Key::Alt};
    const bool held[] = {shift, ctrl, alt};
    for (int i = 0; i < 3; ++i)
        if (held[i]) out.push_back({KeyEvent::Type::Press, order[i], 0});
    out.insert(out.end(), key.begin(), key.end());
    for (int i = 2; i >= 0; --i)
        if (held[i]) out.push_back({KeyEvent::Type::Release, order[i], 0});
    return out;
}

// Every key with every set of modifiers, alone and twice in one chord, and the
// whole recording as one Send string: each chord types exactly its key with
// its modifiers and nothing of it leaks into the next chord.
TEST(KeyRecorder, EveryRecordingPlaysBack) {
    std::string whole;
    KeySequence wholeExpected;
    int recorded = 0;
    for (int mask = 0; mask < 8; ++mask) {
        const bool shift = mask & S, ctrl = mask & C, alt = mask & A;
        std::vector<int> codes{0};  // 0: the modifiers alone
        for (int code = 1; code < 256; ++code)
            if (!keyNotation(code, shift).isEmpty()) codes.push_back(code);
        for (int code : codes) {
            if (code == 0 && mask == 0) continue;
            const QString notation = keyNotation(code, shift);
            const KeySequence key =
                notation.isEmpty() ? KeySequence{} : parseKeys(notation.toStdString());
            for (int times = 1; times <= 2; ++times) {
                std::vector<Step> steps;
                if (mask) steps.push_back({'d', kShift, mask});
                for (int t = 0; t < times; ++t) {
                    steps.push_back({'d', code, mask});
                    steps.push_back({'u', code, mask});
                }
                steps.push_back({'u', kShift, 0});
                const std::string chord = record(steps).toStdString();
                KeySequence keys;
                for (int t = 0; t < times; ++t)
                    keys.insert(keys.end(), key.begin(), key.end());
                const KeySequence expected = expectedChord(keys, shift, ctrl, alt);
                KeySequence played;
                ASSERT_NO_THROW(played = parseKeys(chord)) << chord;
                EXPECT_EQ(played, expected) << chord << " is " << describe(played);
                whole += chord;
                wholeExpected.insert(wholeExpected.end(), expected.begin(), expected.end());
                ++recorded;
            }
        }
    }
    EXPECT_GT(recorded, 8 * 60);
    EXPECT_EQ(parseKeys(whole), wholeExpected);
}

// Without a native keycode the recorder goes by Qt's key, read back to the
// United States key that types it.
TEST(UsKeyboard, QtKeysFallBackToTheirUnitedStatesKey) {
    struct Case {
        int qtKey;
        Qt::KeyboardModifiers modifiers;
        int code;
    };
    const Case cases[] = {
        {Qt::Key_A, Qt::NoModifier, kA},
        {Qt::Key_Exclam, Qt::ShiftModifier, k0 + 1},
        {Qt::Key_ParenRight, Qt::ShiftModifier, k0},
        {Qt::Key_5, Qt::KeypadModifier, kNumpad0 + 5},
        {Qt::Key_Plus, Qt::KeypadModifier, kAdd},
        {Qt::Key_Plus, Qt::ShiftModifier, kEquals},
        {Qt::Key_QuoteDbl, Qt::ShiftModifier, kQuote},
        {Qt::Key_Backtab, Qt::ShiftModifier, kTab},
        {Qt::Key_F1, Qt::NoModifier, kF1},
        {Qt::Key_Adiaeresis, Qt::NoModifier, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(usKeyCodeOfQtKey(c.qtKey, c.modifiers), c.code) << c.qtKey;
}

// X keycodes (evdev) read as the keys of a United States keyboard, keypad keys
// by Num Lock.
TEST(UsKeyboard, X11KeycodesGiveTheirUnitedStatesKey) {
    struct Case {
        std::uint32_t keycode;
        bool numLock;
        int code;
    };
    const Case cases[] = {
        {38, false, kA},         {52, false, kA + 25},     {29, false, kA + 24},
        {47, false, kSemicolon}, {48, false, kQuote},      {20, false, kMinus},
        {10, false, k0 + 1},     {79, true, kNumpad0 + 7}, {79, false, kHome},
        {86, false, kAdd},       {111, false, kUp},        {67, false, kF1},
        {50, false, kShift},     {37, false, kControl},    {64, false, kAlt},
        {94, false, 0},   // the key beside left Shift on ISO keyboards
        {133, false, 0},  // Super
    };
    for (const Case& c : cases)
        EXPECT_EQ(usKeyCodeOfX11Key(c.keycode, c.numLock), c.code) << c.keycode;
}

}  // namespace
}  // namespace tarn::editor
