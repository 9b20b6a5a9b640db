// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyNotation.h"

#include <array>
#include <cstddef>
#include <string>

#include "Failure.h"
#include "Utf8.h"

// Choices the notation leaves open, fixed here:
// - Key names are matched in any letter case ("{enter}" is "{ENTER}"), as
//   keystroke services on other systems do; the recorder writes capitals. A
//   single character in braces is always that character, so "{a}" and "{A}"
//   stay different.
// - A group without a prefix, "(ab)", is accepted and types its keys: holding
//   no modifier for a group is harmless. An empty group "+()" taps the
//   modifiers alone, and so do prefixes at the end of the string or before a
//   ")" ("+", "a^", "(b%)").
// - A prefix for a modifier that is already held (by an enclosing group or an
//   earlier prefix of the same element) changes nothing: the key stays down
//   until the outermost holder lets it go, so "+(a+b)" holds Shift once.
// - The characters the notation reserves and the square brackets are only
//   accepted braced; a bare "[", "]" or "}" is an error, as is a bare ")"
//   outside a group and a "{" without its "}".
// - A repeat count is a decimal number from 0 to 10,000 after the last space
//   in the braces ("{LEFT 5}", "{x 3}", "{  2}" for two spaces); the modifier
//   prefixes are held across all repetitions.
// - A character no keyboard can type (a NUL or another control character
//   that is no key, a lone surrogate) makes the string unreadable, so that
//   the check of a macro finds it as the run would.
// - A whole string yields at most kMaxEvents key events, so that a pasted or
//   generated string cannot make Send type for minutes.

namespace tarn {
namespace {

constexpr unsigned kMaxRepeat = 10000;
constexpr std::size_t kMaxEvents = 2'000'000;
// Groups nest by recursion: deeper nesting than any hand-written string would
// use is refused before it can exhaust the stack.
constexpr int kMaxGroupDepth = 200;

struct NamedKey {
    const char* name;
    Key key;
};

constexpr NamedKey kNamedKeys[] = {
    {"BS", Key::Backspace},
    {"BACKSPACE", Key::Backspace},
    {"BKSP", Key::Backspace},
    {"TAB", Key::Tab},
    {"ENTER", Key::Enter},
    {"BREAK", Key::Pause},
    {"CAPSLOCK", Key::CapsLock},
    {"ESC", Key::Escape},
    {"PGUP", Key::PageUp},
    {"PGDN", Key::PageDown},
    {"END", Key::End},
    {"HOME", Key::Home},
    {"LEFT", Key::Left},
    {"UP", Key::Up},
    {"RIGHT", Key::Right},
    {"DOWN", Key::Down},
    {"PRTSC", Key::PrintScreen},
    {"INS", Key::Insert},
    {"INSERT", Key::Insert},
    {"DEL", Key::Delete},
    {"DELETE", Key::Delete},
    {"F1", Key::F1},
    {"F2", Key::F2},
    {"F3", Key::F3},
    {"F4", Key::F4},
    {"F5", Key::F5},
    {"F6", Key::F6},
    {"F7", Key::F7},
    {"F8", Key::F8},
    {"F9", Key::F9},
    {"F10", Key::F10},
    {"F11", Key::F11},
    {"F12", Key::F12},
    {"F13", Key::F13},
    {"F14", Key::F14},
    {"F15", Key::F15},
    {"F16", Key::F16},
    {"NUMLOCK", Key::NumLock},
    {"SCROLLLOCK", Key::ScrollLock},
    {"LWIN", Key::LeftWin},
    {"RWIN", Key::RightWin},
    {"APPS", Key::Apps},
    {"ADD", Key::Add},
    {"SUBTRACT", Key::Subtract},
    {"MULTIPLY", Key::Multiply},
    {"DIVIDE", Key::Divide},
};

[[noreturn]] void unreadable() {
    throw runtimeFailure(kInvalidArgument);
}

bool findNamedKey(std::string_view name, Key& key) {
    std::string upper(name);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    for (const NamedKey& entry : kNamedKeys) {
        if (upper == entry.name) {
            key = entry.key;
            return true;
        }
    }
    return false;
}

unsigned parseCount(std::string_view digits) {
    // Five digits are enough for the largest count; more would only be a way
    // to overflow before the range check.
    if (digits.empty() || digits.size() > 5) unreadable();
    unsigned value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') unreadable();
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > kMaxRepeat) unreadable();
    return value;
}

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    KeySequence run() {
        sequence(/*inGroup=*/false);
        return std::move(out_);
    }

  private:
    enum Modifier { kShift, kControl, kAlt, kModifierCount };

    static Key modifierKey(int m) {
        static constexpr Key keys[kModifierCount] = {Key::Shift, Key::Control, Key::Alt};
        return keys[m];
    }

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }

    void emit(KeyEvent::Type type, Key key, char32_t character = 0) {
        if (out_.size() >= kMaxEvents) unreadable();
        KeyEvent event;
        event.type = type;
        event.key = key;
        event.character = character;
        out_.push_back(event);
    }

    void tap(Key key, char32_t character = 0) {
        if (key == Key::Character && !isTypeableCharacter(character)) unreadable();
        emit(KeyEvent::Type::Press, key, character);
        emit(KeyEvent::Type::Release, key, character);
    }

    // Reads elements until the end of the text or, inside a group, up to and
    // including its ")".
    void sequence(bool inGroup) {
        while (!atEnd()) {
            if (peek() == ')') {
                if (!inGroup) unreadable();
                ++pos_;
                return;
            }
            element();
        }
        if (inGroup) unreadable();
    }

    void element() {
        // Modifiers this element presses itself, in the order written.
        std::array<int, kModifierCount> pressed{};
        int pressedCount = 0;
        while (!atEnd()) {
            int m;
            switch (peek()) {
                case '+':
                    m = kShift;
                    break;
                case '^':
                    m = kControl;
                    break;
                case '%':
                    m = kAlt;
                    break;
                default:
                    m = -1;
                    break;
            }
            if (m < 0) break;
            ++pos_;
            if (!held_[m]) {
                held_[m] = true;
                pressed[pressedCount++] = m;
                emit(KeyEvent::Type::Press, modifierKey(m));
            }
        }
        // Prefixes with nothing after them, at the end of the string or of a
        // group, tap their modifiers alone, as "+()" does ("Send "+"" taps
        // Shift).
        if (!atEnd() && peek() != ')') atom();
        for (int i = pressedCount - 1; i >= 0; --i) {
            held_[pressed[i]] = false;
            emit(KeyEvent::Type::Release, modifierKey(pressed[i]));
        }
    }

    void atom() {
        const char c = peek();
        switch (c) {
            case '(':
                ++pos_;
                if (++depth_ > kMaxGroupDepth) throw runtimeFailure(kOutOfStackSpace);
                sequence(/*inGroup=*/true);
                --depth_;
                return;
            case '{':
                ++pos_;
                braced();
                return;
            case '~':
                ++pos_;
                tap(Key::Enter);
                return;
            case '}':
            case '[':
            case ']':
                unreadable();
            default: {
                const char32_t character = utf8::next(text_, pos_);
                tap(Key::Character, character);
                return;
            }
        }
    }

    // After "{": a name or one character, an optional count, then "}". The
    // first character belongs to the content whatever it is, which is what
    // lets "{}}" and "{{}" name the braces.
    void braced() {
        if (atEnd()) unreadable();
        const std::size_t start = pos_;
        utf8::next(text_, pos_);
        const std::size_t firstEnd = pos_;
        const std::size_t close = text_.find('}', firstEnd);
        if (close == std::string_view::npos) unreadable();
        pos_ = close + 1;

        std::string_view content = text_.substr(start, close - start);
        unsigned count = 1;
        const std::size_t space = content.rfind(' ');
        if (space != std::string_view::npos && space >= firstEnd - start) {
            count = parseCount(content.substr(space + 1));
            content = content.substr(0, space);
        }

        Key key = Key::Character;
        char32_t character = 0;
        if (content.size() == firstEnd - start) {
            std::size_t at = 0;
            character = utf8::next(content, at);
        } else if (!findNamedKey(content, key)) {
            unreadable();
        }
        for (unsigned i = 0; i < count; ++i)
            tap(key, character);
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    bool held_[kModifierCount] = {};
    int depth_ = 0;
    KeySequence out_;
};

}  // namespace

KeySequence parseKeys(std::string_view notation) {
    return Parser(notation).run();
}

std::vector<KeyNotationPart> keyNotationParts(std::string_view notation) {
    std::vector<KeyNotationPart> parts;
    std::size_t pos = 0;
    while (pos < notation.size()) {
        const char c = notation[pos];
        if (c == '{') {
            std::size_t firstEnd = pos + 1;
            if (firstEnd >= notation.size()) break;
            utf8::next(notation, firstEnd);
            const std::size_t close = notation.find('}', firstEnd);
            if (close == std::string_view::npos) break;
            parts.push_back({pos, close + 1 - pos, KeyNotationPart::Kind::Braces});
            pos = close + 1;
        } else if (c == '(' || c == ')') {
            parts.push_back({pos, 1, KeyNotationPart::Kind::Braces});
            ++pos;
        } else if (c == '+' || c == '^' || c == '%' || c == '~') {
            parts.push_back({pos, 1, KeyNotationPart::Kind::Prefix});
            ++pos;
        } else {
            utf8::next(notation, pos);
        }
    }
    return parts;
}

}  // namespace tarn
