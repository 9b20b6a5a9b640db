// SPDX-License-Identifier: GPL-3.0-or-later
// The typing engine against a recording port, without a display: what every
// desktop's keyboard gets from it, whatever ends a sequence.

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Failure.h"
#include "KeyNotation.h"
#include "StopKey.h"
#include "TypingEngine.h"

namespace tarn::typing {
namespace {

// A US-like layout: lower-case letters on keys 'a'..'z' (as their own
// numbers), upper-case with Shift; the modifiers on keys 1 to 4; room to bind
// `room` characters on keys 1000 and up. Records every call as a line.
class RecordingPort : public TypingPort {
  public:
    std::vector<std::string> calls;
    std::size_t room = 4;
    std::size_t batch = 1000;
    int batchesBeforeLoss = -1;  // openBatch() fails after this many
    bool lost = false;
    int pressesBeforeThrow = -1;
    std::set<std::uint32_t> down;
    std::map<xkb_keysym_t, std::uint32_t> bindings;

    void refresh() override { calls.push_back("refresh"); }
    std::function<bool(char32_t)> lacks;  // characters taken off the layout
    std::optional<KeyPlace> find(char32_t c, xkb_keysym_t keysym) override {
        if (lacks && lacks(c)) return std::nullopt;
        if (c >= U'a' && c <= U'z') return KeyPlace{static_cast<std::uint32_t>(c), 0};
        if (c >= U'A' && c <= U'Z')
            return KeyPlace{static_cast<std::uint32_t>(c - U'A' + U'a'), kShift};
        if (keysym == XKB_KEY_Return) return KeyPlace{13, 0};
        if (keysym == XKB_KEY_Pause) return KeyPlace{19, 0};
        if (keysym == XKB_KEY_Caps_Lock) return KeyPlace{20, 0};
        return std::nullopt;
    }
    std::uint32_t modifierKey(Modifier m) override {
        return m == kShift ? 1 : m == kControl ? 2 : m == kAlt ? 3 : 4;
    }
    std::size_t bindingRoom() override { return room; }
    bool bind(const std::vector<xkb_keysym_t>& keysyms) override {
        for (std::uint32_t key : down)
            EXPECT_LE(key, 4u) << "key " << key << " down while the bindings change";
        std::string line = "bind";
        if (keysyms.size() > room) return false;
        std::map<xkb_keysym_t, std::uint32_t> next;
        for (xkb_keysym_t k : keysyms) {
            next[k] = 1000 + static_cast<std::uint32_t>(next.size());
            line += " " + std::to_string(k);
        }
        bindings = next;
        calls.push_back(line);
        return true;
    }
    std::optional<KeyPlace> bound(xkb_keysym_t keysym) override {
        auto at = bindings.find(keysym);
        if (at == bindings.end()) return std::nullopt;
        return KeyPlace{at->second, 0};
    }
    void enter(bool resuming) override { calls.push_back(resuming ? "enter again" : "enter"); }
    void leave(bool caps) override { calls.push_back(caps ? "leave caps" : "leave"); }
    std::size_t batchSize() const override { return batch; }
    bool openBatch() override {
        if (batchesBeforeLoss == 0) return false;
        if (batchesBeforeLoss > 0) --batchesBeforeLoss;
        calls.push_back("open");
        return true;
    }
    void closeBatch() override { calls.push_back("close"); }
    void press(std::uint32_t key) override {
        if (pressesBeforeThrow == 0) throw Failure(99, "the port failed");
        if (pressesBeforeThrow > 0) --pressesBeforeThrow;
        EXPECT_TRUE(down.insert(key).second) << "pressed twice: " << key;
        calls.push_back("+" + std::to_string(key));
    }
    void release(std::uint32_t key) override {
        EXPECT_EQ(down.erase(key), 1u) << "released while up: " << key;
        calls.push_back("-" + std::to_string(key));
    }
    void modifiersHeld(std::uint32_t m) override { calls.push_back("mods " + std::to_string(m)); }
    void sync() override {}
    bool connectionLost() override { return lost; }
    std::string connectionLostDescription() const override { return "the test display closed"; }

    // The presses and releases alone, "+a -a" with letters for letter keys.
    std::string keys() const {
        std::string text;
        for (const std::string& call : calls) {
            if (call[0] != '+' && call[0] != '-') continue;
            const int key = std::stoi(call.substr(1));
            if (!text.empty()) text += ' ';
            text += call[0];
            text += key >= 'a' && key <= 'z' ? std::string(1, static_cast<char>(key))
                                             : std::to_string(key);
        }
        return text;
    }
};

class CountingStop : public StopKey {
  public:
    int pressAt = -1;  // pressed() reads true from this question on
    int asked = 0;
    bool suspended = false;
    bool arm() override { return true; }
    void disarm() override {}
    bool pressed() override {
        EXPECT_FALSE(suspended) << "asked while the key itself is typed";
        ++asked;
        return pressAt >= 0 && asked >= pressAt;
    }
    int descriptor() const override { return -1; }
    void suspend() override { suspended = true; }
    void resume() override { suspended = false; }
};

int failureNumber(TypingEngine& engine, const std::string& notation) {
    try {
        engine.type(parseKeys(notation));
    } catch (const Failure& failure) {
        return failure.number();
    }
    return 0;
}

TEST(TypingEngine, ModifiersFollowTheNotationAndTheLevelsAndAreHeldOnce) {
    const struct {
        const char* notation;
        const char* keys;
    } cases[] = {
        {"ab", "+a -a +b -b"},
        // Shift for three capitals at once, let go for the small letter.
        {"ABCd", "+1 +a -a +b -b +c -c -1 +d -d"},
        // The notation's Shift held over a group, then Control alone.
        {"+(ab)^c", "+1 +a -a +b -b -1 +2 +c -c -2"},
        // A capital inside a Control group adds Shift to Control.
        {"^(aB)", "+2 +a -a +1 +b -b -1 -2"},
        {"{ENTER}", "+13 -13"},
    };
    for (const auto& c : cases) {
        RecordingPort port;
        TypingEngine engine(port);
        engine.type(parseKeys(c.notation));
        EXPECT_EQ(port.keys(), c.keys) << c.notation;
        EXPECT_TRUE(port.down.empty()) << c.notation;
        EXPECT_EQ(port.calls.back(), "leave") << c.notation;
    }
}

TEST(TypingEngine, WhatTheLayoutLacksIsBoundInSegmentsThatFitTheRoom) {
    RecordingPort port;
    port.room = 2;
    TypingEngine engine(port);
    // Three distinct characters in room for two: two segments, and the key
    // bound first is typed again through its binding.
    engine.type(parseKeys("é+(a)ßéж"));
    std::vector<std::string> binds;
    for (const std::string& call : port.calls)
        if (call.rfind("bind", 0) == 0) binds.push_back(call);
    ASSERT_EQ(binds.size(), 2u);
    EXPECT_EQ(binds[0],
              "bind " + std::to_string(XKB_KEY_eacute) + " " + std::to_string(XKB_KEY_ssharp));
    EXPECT_EQ(port.keys(), "+1000 -1000 +1 +a -a -1 +1001 -1001 +1000 -1000 +1000 -1000");

    // A character that neither the layout nor any binding can give fails the
    // sequence before anything is typed.
    RecordingPort none;
    none.room = 0;
    TypingEngine noRoom(none);
    EXPECT_EQ(failureNumber(noRoom, "abcé"), 5);
    EXPECT_EQ(none.keys(), "");
}

TEST(TypingEngine, EveryKeyIsLetGoWhateverEndsTheSequence) {
    // The port fails in the middle of a Shift group.
    RecordingPort failing;
    failing.pressesBeforeThrow = 3;
    TypingEngine engine(failing);
    EXPECT_EQ(failureNumber(engine, "+(abcd)"), 99);
    EXPECT_TRUE(failing.down.empty());
    EXPECT_EQ(failing.calls.back(), "leave");

    // The target is lost after the first batch: 1012, nothing more typed
    // (the releases of what is down cannot type anything).
    RecordingPort losing;
    losing.batch = 4;
    losing.batchesBeforeLoss = 1;
    TypingEngine lost(losing);
    EXPECT_EQ(failureNumber(lost, "+(abcdef)"), 1012);
    EXPECT_EQ(losing.keys(), "+1 +a -a +b -b -1");
    EXPECT_TRUE(losing.down.empty());

    // The connection goes: 1013 with the port's words.
    RecordingPort closing;
    closing.lost = true;
    TypingEngine closed(closing);
    try {
        closed.type(parseKeys("a"));
        ADD_FAILURE() << "typed on a lost connection";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), 1013);
        EXPECT_EQ(failure.description(), "the test display closed");
    }
}

TEST(TypingEngine, TheStopKeyIsAskedBetweenBatchesAndTypedThroughWhenSent) {
    RecordingPort port;
    port.batch = 4;
    CountingStop stop;
    stop.pressAt = 3;
    TypingEngine engine(port);
    engine.setStopKey(&stop);
    engine.type(parseKeys("+(abcdefgh)"));
    EXPECT_EQ(stop.asked, 3);
    EXPECT_EQ(port.keys(), "+1 +a -a +b -b +c -c +d -d -1");
    EXPECT_TRUE(port.down.empty());

    // {BREAK} reaches the target, and the watch is not asked meanwhile.
    RecordingPort typing;
    typing.batch = 1;
    CountingStop watch;
    TypingEngine breaking(typing);
    breaking.setStopKey(&watch);
    breaking.type(parseKeys("a{BREAK}b"));
    EXPECT_EQ(typing.keys(), "+a -a +19 -19 +b -b");
    EXPECT_FALSE(watch.suspended);
}

// A stop of the program (Ctrl+Z) asked from the press numbered `askAt` on;
// the test's `whileStopped` plays what happens on the desktop meanwhile.
class StoppingProgram : public CountingStop {
  public:
    explicit StoppingProgram(RecordingPort& port) : port_(port) {}
    int askAt = -1;
    int stops = 0;
    std::function<void()> whileStopped;

    void holdingKeys(bool holding) override {
        port_.calls.push_back(holding ? "holding" : "not holding");
    }
    bool programStopAsked() override {
        const auto presses = std::count_if(port_.calls.begin(), port_.calls.end(),
                                           [](const std::string& call) { return call[0] == '+'; });
        return stops == 0 && askAt >= 0 && presses >= askAt;
    }
    void stopProgram() override {
        EXPECT_TRUE(port_.down.empty()) << "a key is down while the program is stopped";
        ++stops;
        port_.calls.push_back("stopped");
        if (whileStopped) whileStopped();
    }

  private:
    RecordingPort& port_;
};

// The keys and the stop ("|") in order.
std::string keysAndStop(const RecordingPort& port) {
    std::string text;
    for (const std::string& call : port.calls) {
        if (call == "stopped") {
            text += " |";
        } else if (call[0] == '+' || call[0] == '-') {
            RecordingPort one;
            one.calls = {call};
            text += " " + one.keys();
        }
    }
    return text.empty() ? text : text.substr(1);
}

TEST(TypingEngine, AStopOfTheProgramLetsGoOfEveryKeyAndTypingGoesOnExactly) {
    const struct {
        const char* name;
        const char* notation;
        int askAt;
        const char* keys;
    } cases[] = {
        // Shift is let go while stopped and pressed again for the next capital;
        // the stop asked while b is down waits for its release.
        {"Capitals", "ABCD", 3, "+1 +a -a +b -b -1 | +1 +c -c +d -d -1"},
        {"ShiftGroup", "+(abcd)", 3, "+1 +a -a +b -b -1 | +1 +c -c +d -d -1"},
        // Alt alone, let go, would be a tap of its own (a menu opens): the
        // stop waits for the key Alt goes with.
        {"BareAlt", "%(a)b", 1, "+3 +a -a -3 | +b -b"},
        {"TwoModifiers", "^(%(ab))", 2, "+2 +3 +a -a -3 -2 | +2 +3 +b -b -3 -2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingPort port;
        StoppingProgram stop(port);
        stop.askAt = c.askAt;
        TypingEngine engine(port);
        engine.setStopKey(&stop);
        engine.type(parseKeys(c.notation));
        EXPECT_EQ(stop.stops, 1);
        EXPECT_EQ(keysAndStop(port), c.keys);
        EXPECT_TRUE(port.down.empty());
        // What enter() cleared is put back while stopped and cleared again
        // after, the target kept; the program is free to stop once the
        // sequence is over.
        const auto at = std::find(port.calls.begin(), port.calls.end(), "stopped");
        ASSERT_NE(at, port.calls.end());
        EXPECT_EQ(*(at - 1), "leave");
        EXPECT_EQ(std::vector<std::string>(at + 1, at + 3),
                  (std::vector<std::string>{"refresh", "enter again"}));
        EXPECT_EQ(port.calls.front(), "refresh");
        EXPECT_EQ(port.calls[1], "holding");
        EXPECT_EQ(port.calls.back(), "not holding");
    }

    // The layout changed while the program was stopped: what is left is
    // found anew, and q, gone from the layout, is typed through a binding.
    RecordingPort changing;
    StoppingProgram stop(changing);
    stop.askAt = 1;
    bool qGone = false;
    stop.whileStopped = [&] { qGone = true; };
    TypingEngine engine(changing);
    engine.setStopKey(&stop);
    changing.lacks = [&](char32_t c) { return qGone && c == U'q'; };
    engine.type(parseKeys("pqq"));
    EXPECT_EQ(keysAndStop(changing), "+p -p | +1000 -1000 +1000 -1000");

    // Another window took the focus meanwhile: 1012, nothing more typed.
    RecordingPort losing;
    StoppingProgram lost(losing);
    lost.askAt = 2;
    lost.whileStopped = [&] { losing.batchesBeforeLoss = 0; };
    TypingEngine losingEngine(losing);
    losingEngine.setStopKey(&lost);
    EXPECT_EQ(failureNumber(losingEngine, "ABCD"), 1012);
    EXPECT_EQ(keysAndStop(losing), "+1 +a -a -1 |");
}

TEST(TypingEngine, CapsLockTypedAnOddNumberOfTimesStaysToggled) {
    for (const auto& [notation, call] :
         {std::pair{"{CAPSLOCK}a", "leave caps"}, {"{CAPSLOCK}a{CAPSLOCK}", "leave"}}) {
        RecordingPort port;
        TypingEngine engine(port);
        engine.type(parseKeys(notation));
        EXPECT_NE(std::find(port.calls.begin(), port.calls.end(), call), port.calls.end())
            << notation;
    }
}

}  // namespace
}  // namespace tarn::typing
