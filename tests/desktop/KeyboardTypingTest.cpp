// SPDX-License-Identifier: GPL-3.0-or-later
// The keystroke backend of each desktop, XTEST on a real Xvfb with openbox
// and without a window manager, the virtual keyboard on a headless sway and
// mutter's remote desktop on a headless GNOME Shell:
// what arrives in a terminal (whose program writes every byte it receives to
// a file) and in a Qt line edit of tarn_target; on X11 also the keyboard as
// the backend leaves it.

#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>
// xkb.h names a member "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "DesktopBackends.h"
#include "Harness.h"
#include "KeyNotation.h"
#include "StopKey.h"
#include "TargetProgram.h"
#include "Utf8.h"
#include "XSession.h"
#include "XTestKeyboard.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;
using namespace testing;  // the desktop test fixture

constexpr std::uint16_t kShiftMask = 1, kLockMask = 2;

// Every printable ASCII character, in the notation: reserved ones braced.
std::string printableAscii(std::string* plain) {
    std::string notation;
    for (char c = 0x20; c < 0x7f; ++c) {
        plain->push_back(c);
        const bool reserved = std::string("+^%~(){}[]").find(c) != std::string::npos;
        notation += reserved ? std::string{'{', c, '}'} : std::string(1, c);
    }
    return notation;
}

// Distinct characters that no Latin layout has, more than a keyboard map has
// spare keycodes, so that typing them must reuse keycodes.
std::string manyCjk(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        utf8::append(text, 0x4e00 + static_cast<char32_t>(i * 7));
    return text;
}

struct ModifierState {
    std::uint8_t base = 0, latched = 0, locked = 0, group = 0;
    bool operator==(const ModifierState& o) const {
        return base == o.base && latched == o.latched && locked == o.locked && group == o.group;
    }
};

ModifierState modifierState(const XSession& session) {
    xcb_connection_t* c = xcb_connect(session.display().c_str(), nullptr);
    std::free(xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, 1, 0), nullptr));
    auto* r = xcb_xkb_get_state_reply(c, xcb_xkb_get_state(c, XCB_XKB_ID_USE_CORE_KBD), nullptr);
    ModifierState state;
    if (r) state = {r->baseMods, r->latchedMods, r->lockedMods, r->group};
    std::free(r);
    xcb_disconnect(c);
    return state;
}

// The core keyboard mapping, keysyms by keycode, and the keycode of a keysym
// in it (0 for none).
struct CoreMap {
    int first = 0, width = 1;
    std::vector<std::uint32_t> keysyms;
    int keycodeOf(std::uint32_t keysym) const {
        const auto at = std::find(keysyms.begin(), keysyms.end(), keysym);
        return at == keysyms.end() ? 0 : first + static_cast<int>(at - keysyms.begin()) / width;
    }
};

CoreMap coreMap(const XSession& session) {
    xcb_connection_t* c = xcb_connect(session.display().c_str(), nullptr);
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto* r = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr);
    CoreMap map{setup->min_keycode, r ? r->keysyms_per_keycode : 1, {}};
    if (r) {
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r);
        map.keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(r));
    }
    std::free(r);
    xcb_disconnect(c);
    return map;
}

class KeyboardTyping : public ::testing::TestWithParam<WindowManager> {
  protected:
    void SetUp() override {
        session_ = std::make_unique<XSession>(GetParam());
        auto backends = testing::connectBackends(*session_, host_);
        windows_ = std::move(backends.windows);
        keyboard_ = std::move(backends.keyboard);
        ASSERT_TRUE(keyboard_) << "no keyboard on " << testing::name(GetParam());
    }

    // Gives the window the keyboard focus as a user would: through the window
    // manager when there is one (on sway, its activation), and only once the
    // window holds the input focus, which comes after the window manager has
    // announced the activation. Only once the desktop shows the window: a
    // window manager ignores the activation of a window it has not taken in
    // yet, and X refuses the focus to a window that is not mapped.
    void focus(WindowId window) {
        ASSERT_TRUE(testing::waitShown(*windows_, window)) << "window " << window << " never shown";
        ASSERT_TRUE(windows_->setForeground(window)) << "cannot focus " << window;
    }

    // A terminal whose program writes every byte it receives to a file, in raw
    // mode without echo, focused. Returns the file.
    std::string startTerminal() {
        const std::string title = "tarn-keys-" + std::to_string(++xterms_);
        const std::string out = testing::startTerminalToFile(*session_, title);
        focus(testing::waitForTitle(*windows_, title));
        return out;
    }

    void startTarget() {
        target_ = std::make_unique<TargetProgram>(*session_);
        focus(testing::showWindow(*session_, *windows_, *target_, "main", "Tarn keys"));
        EXPECT_TRUE(target_->becomesActive("main"));
    }

    void type(const std::string& notation) { keyboard_->type(parseKeys(notation)); }

    std::string waitForBytes(const std::string& path, std::size_t size) {
        std::string text;
        testing::waitUntil([&] { return (text = platformtest::readFile(path)).size() >= size; },
                           15s);
        return text;
    }
    std::string waitForText(const std::string& expected) {
        std::string text;
        testing::waitUntil([&] { return (text = target_->text("main")) == expected; }, 15s);
        return text;
    }

    PlainHost host_;
    bool nextKeyComesPlain() {
        type("z");
        bool plain = false;
        testing::waitUntil(
            [&] {
                for (const testing::KeyRecord& key : target_->keys("main"))
                    if (key.press && key.text == "z") plain = key.modifiers == 0;
                return plain;
            },
            10s);
        return plain;
    }

    std::unique_ptr<XSession> session_;
    std::unique_ptr<WindowSystem> windows_;
    std::unique_ptr<Keyboard> keyboard_;
    std::unique_ptr<TargetProgram> target_;
    int xterms_ = 0;
};

class X11KeyboardState : public KeyboardTyping {};

// What the terminal's program receives in raw mode (Enter is a carriage
// return, Ctrl chords are control characters) and the line edit's text, as
// typed; null where the case is not typed there.
const struct {
    const char* notation;
    const char* terminal;
    const char* lineEdit;
} kCases[] = {
    {"{+}{^}{%}{~}{(}{)}{{}{}}{[}{]}", "+^%~(){}[]", "+^%~(){}[]"},
    {"héllo wörld €uro", "héllo wörld €uro", "héllo wörld €uro"},
    {"Ωμέγα Привет 中文字符 ÆØÅ ß", "Ωμέγα Привет 中文字符 ÆØÅ ß", "Ωμέγα Привет 中文字符 ÆØÅ ß"},
    {"+a+(bc)d", "ABCd", "ABCd"},
    {"{x 3}{é 2}", "xxxéé", "xxxéé"},
    {"a~b{ENTER}", "a\rb\r", nullptr},
    {"^a^(bc)", "\x01\x02\x03", nullptr},
    {"{TAB}{ESC}", "\t\x1b", nullptr},
    // Ctrl+A selects all, Delete removes it.
    {"abc^a{DEL}x", nullptr, "x"},
    {"abc{LEFT 2}{BS}X{END}Y", nullptr, "XbcY"},
};

TEST_P(KeyboardTyping, TerminalAndLineEditGetExactlyWhatWasWritten) {
    std::string ascii;
    const std::string asciiNotation = printableAscii(&ascii);
    const std::string out = startTerminal();
    std::string expected = ascii;
    type(asciiNotation);
    ASSERT_EQ(waitForBytes(out, expected.size()), expected) << "printable ASCII";
    for (const auto& c : kCases) {
        if (!c.terminal) continue;
        type(c.notation);
        expected += c.terminal;
        ASSERT_EQ(waitForBytes(out, expected.size()), expected) << c.notation;
    }
    // A run of short Sends, each with a character the layout lacks, ten new
    // ones first (on sway ten keymap uploads in a row): every one arrives.
    const char32_t offLayout[] = {U'è', U'à', U'ü', U'ð', U'ø', U'æ', U'ł', U'β', U'ж', U'ñ'};
    for (int i = 0; i < 200; ++i) {
        KeySequence keys = parseKeys("ab");
        keys.push_back({KeyEvent::Type::Press, Key::Character, offLayout[i % 10]});
        keys.push_back({KeyEvent::Type::Release, Key::Character, offLayout[i % 10]});
        keyboard_->type(keys);
        expected += "ab";
        utf8::append(expected, offLayout[i % 10]);
    }
    EXPECT_EQ(waitForBytes(out, expected.size()), expected);

    startTarget();
    type(asciiNotation);
    EXPECT_EQ(waitForText(ascii), ascii) << "printable ASCII";
    for (const auto& c : kCases) {
        if (!c.lineEdit) continue;
        target_->clear("main");
        type(c.notation);
        EXPECT_EQ(waitForText(c.lineEdit), c.lineEdit) << c.notation;
    }
    // The target still has thousands of keys queued when the next Send binds
    // characters it lacks, more than there are spare keycodes: every one
    // arrives.
    target_->clear("main");
    std::string first, firstNotation;
    for (int i = 0; i < 20; ++i) {
        first += ascii;
        firstNotation += asciiNotation;
    }
    const std::string second = "héllo " + manyCjk(40) + " wörld Ωж€";
    type(firstNotation);
    type(second);
    type("ÆØÅ");
    expected = first + second + "ÆØÅ";
    EXPECT_EQ(waitForText(expected), expected);
}

// Caps Lock on and a Shift key the user holds change nothing in the text and
// stay as they were; a {CAPSLOCK} in the keys toggles the lock, as asked.
// Characters beyond the layout, more distinct ones than spare keycodes:
// afterwards the map, the modifier state and the keys down are what they
// were.
TEST_P(X11KeyboardState, HeldModifiersChangeNothingAndTheKeyboardIsLeftAsItWasFound) {
    const std::string out = startTerminal();
    const auto xdotool = [&](const char* action, const char* key) {
        ASSERT_EQ(session_->run({"xdotool", action, key}).exitStatus, 0) << action << key;
    };
    xdotool("key", "Caps_Lock");
    const std::string mapBefore = session_->keyboardMap();
    ASSERT_FALSE(mapBefore.empty());
    const ModifierState stateBefore = modifierState(*session_);

    xdotool("keydown", "Shift_L");
    const std::vector<int> shift = session_->keysDown();
    ASSERT_EQ(shift.size(), 1u);
    std::string expected = "abc ABC 1!";
    type(expected);
    EXPECT_EQ(waitForBytes(out, expected.size()), expected);
    EXPECT_EQ(session_->keysDown(), shift);
    EXPECT_EQ(modifierState(*session_).base & kShiftMask, kShiftMask);
    EXPECT_EQ(modifierState(*session_).locked & kLockMask, kLockMask);
    xdotool("keyup", "Shift_L");

    const std::string text = "héllo " + manyCjk(60) + " €uro";
    type(text + "+(x)^(y)%(z)");
    // Bindings outlive the sequence until the owner gives the map back.
    keyboard_->restoreLayout();
    EXPECT_EQ(session_->keyboardMap(), mapBefore);
    EXPECT_EQ(modifierState(*session_), stateBefore);
    EXPECT_TRUE(session_->keysDown().empty());
    // The characters arrived, including those typed through reused keycodes.
    expected += text;
    const std::string arrived = waitForBytes(out, expected.size() + 1);
    EXPECT_EQ(arrived.substr(0, expected.size()), expected);

    type("{CAPSLOCK}x");
    EXPECT_TRUE(testing::waitUntil(
        [&] {
            const std::string got = platformtest::readFile(out);
            return !got.empty() && got.back() == 'x';
        },
        15s));
    EXPECT_EQ(modifierState(*session_).locked & kLockMask, 0);
}

// A stop key that reads as pressed from the first question on.
class PressedStopKey : public StopKey {
  public:
    bool arm() override { return true; }
    void disarm() override {}
    bool pressed() override { return ++asked > 0; }
    int descriptor() const override { return -1; }
    void suspend() override {}
    void resume() override {}
    int asked = 0;
};

// A key that cannot be typed fails the whole sequence with nothing typed.
// Keys the sequence presses and never releases, and the modifiers of a long
// sequence that a stop ends early, are let go: the next key comes plain.
TEST_P(KeyboardTyping, NoKeyStaysPressedWhateverEndsASend) {
    startTarget();
    KeySequence keys = parseKeys("abc");
    keys.push_back({KeyEvent::Type::Press, Key::Character, 0xfffe});
    const auto failure = test::Harness::failureOf([&] { keyboard_->type(keys); });
    EXPECT_EQ(failure ? failure->number() : 0, 5) << "typed a noncharacter";
    keys = parseKeys("x");
    keys.insert(keys.begin(), {KeyEvent::Type::Press, Key::Character, 0});
    EXPECT_THROW(keyboard_->type(keys), Failure);

    keys = parseKeys("ab");
    keys.push_back({KeyEvent::Type::Press, Key::Control, 0});
    keys.push_back({KeyEvent::Type::Press, Key::Shift, 0});
    keys.push_back({KeyEvent::Type::Press, Key::Character, U'é'});
    keys.push_back({KeyEvent::Type::Press, Key::Left, 0});
    keyboard_->type(keys);
    if (!session_->wayland()) {
        EXPECT_TRUE(session_->keysDown().empty());
        EXPECT_EQ(modifierState(*session_).base, 0);
    }
    EXPECT_TRUE(nextKeyComesPlain());
    for (const testing::KeyRecord& key : target_->keys("main"))
        EXPECT_TRUE(key.text != "c" && key.text != "x") << "typed before failing";

    target_->clear("main");
    PressedStopKey stop;
    keyboard_->setStopKey(&stop);
    type("+(" + std::string(500, 'a') + ")");
    keyboard_->setStopKey(nullptr);
    EXPECT_GT(stop.asked, 0);
    EXPECT_TRUE(nextKeyComesPlain());
    EXPECT_LT(target_->text("main").size(), 500u);
}

// A stop key that is never pressed, and does something else when asked for
// the n-th time, that is between two batches of a long Send.
class BetweenBatches : public StopKey {
  public:
    BetweenBatches(int at, std::function<void()> action) : at_(at), action_(std::move(action)) {}
    bool arm() override { return true; }
    void disarm() override {}
    bool pressed() override {
        if (++asked_ == at_) action_();
        return false;
    }
    int descriptor() const override { return -1; }
    void suspend() override {}
    void resume() override {}

  private:
    int at_;
    int asked_ = 0;
    std::function<void()> action_;
};

// However long a Send and however slowly the target reads, every key
// arrives, in order, and the target lives on (a compositor drops a client
// whose queue of unread events overflows).
TEST_P(KeyboardTyping, ALongSendArrivesWholeAndItsTargetLives) {
    // The terminal echoes and draws every character, which makes it slow to
    // read its keys.
    const std::string out = session_->folder() + "/long.out";
    const pid_t terminal = testing::startTerminal(
        *session_, "tarn-long", {"sh", "-c", "stty raw; exec cat > '" + out + "'"});
    focus(testing::waitForTitle(*windows_, "tarn-long"));
    std::string text;
    const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789 ";
    for (int i = 0; i < 40000; ++i)
        text += alphabet[(i * 7919) % (sizeof alphabet - 1)];
    type(text);
    EXPECT_EQ(waitForBytes(out, text.size()), text);
    EXPECT_EQ(::kill(terminal, 0), 0) << "the target died";
}

// Once the window typing began with is closed or hidden, or its program has
// lost the focus, the rest of the Send is not typed (1012), and none of it
// reaches the window that has the focus next.
TEST_P(KeyboardTyping, KeysNeverReachAnotherWindowOnceTheTargetIsGone) {
    const std::string bystander = testing::startTerminalToFile(*session_, "tarn-bystander");
    const WindowId bystanderWindow = testing::waitForTitle(*windows_, "tarn-bystander");
    struct Loss {
        const char* name;
        bool x11Only;
        std::function<void(pid_t, WindowId)> cause;
    };
    const std::vector<Loss> losses = {
        {"killed", false, [](pid_t pid, WindowId) { ::kill(pid, SIGKILL); }},
        {"minimised", true,
         [&](pid_t, WindowId window) {
             session_->run({"xdotool", "windowminimize", std::to_string(window)});
         }},
        {"unmapped", true,
         [&](pid_t, WindowId window) {
             session_->run({"xdotool", "windowunmap", std::to_string(window)});
         }},
    };
    std::string marks;
    for (const Loss& loss : losses) {
        if (loss.x11Only && session_->wayland()) continue;
        if (std::string(loss.name) == "minimised" && GetParam() == WindowManager::None) continue;
        const std::string title = std::string("tarn-target-") + loss.name;
        pid_t pid = 0;
        testing::startTerminalToFile(*session_, title, true, &pid);
        const WindowId window = testing::waitForTitle(*windows_, title);
        focus(window);
        BetweenBatches hook(3, [&] {
            loss.cause(pid, window);
            // Gone or no longer shown at the server: a window manager marks a
            // window minimised before it has hidden it.
            testing::waitUntil(
                [&] {
                    if (!windows_->isWindow(window)) return true;
                    if (session_->wayland()) return false;
                    xcb_connection_t* c = xcb_connect(session_->display().c_str(), nullptr);
                    auto* attributes = xcb_get_window_attributes_reply(
                        c, xcb_get_window_attributes(c, static_cast<xcb_window_t>(window)),
                        nullptr);
                    const bool shown =
                        attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
                    std::free(attributes);
                    xcb_disconnect(c);
                    return !shown;
                },
                15s);
        });
        keyboard_->setStopKey(&hook);
        const auto failure = test::Harness::failureOf([&] { type(std::string(5000, 'x')); });
        keyboard_->setStopKey(nullptr);
        EXPECT_EQ(failure ? failure->number() : 0, 1012) << loss.name;
        ::kill(pid, SIGKILL);
        // Whatever the bystander received came before this mark.
        focus(bystanderWindow);
        marks += std::string("=") + loss.name + "=";
        type(std::string("=") + loss.name + "=");
        EXPECT_EQ(waitForBytes(bystander, marks.size()), marks) << loss.name;
    }
}

// Under a German layout every character arrives as well; on X11 its AltGr
// characters are typed with their key and level 3, not through a borrowed
// keycode. (Sway's virtual keyboard has Tarn's own keymap, whatever the
// user's layout; on GNOME the layout is the one the user chose in the Shell.)
TEST_P(KeyboardTyping, GermanLayout) {
    const bool gnome = GetParam() == WindowManager::GnomeShell;
    if (!gnome) {
        ASSERT_TRUE(session_->setKeyboardLayout("de"));
    } else {
        // The shell applies the user's choice of layout as it learns of it.
        ASSERT_EQ(session_
                      ->run({"gsettings", "set", "org.gnome.desktop.input-sources", "sources",
                             "[('xkb', 'de')]"})
                      .exitStatus,
                  0);
        ASSERT_TRUE(testing::waitUntil(
            [&] {
                return session_
                           ->run({"gdbus", "call", "--session", "--dest", "org.tarn.Shell1",
                                  "--object-path", "/org/tarn/Shell1", "--method",
                                  "org.tarn.Shell1.Layout"})
                           .output.rfind("('de',", 0) == 0;
            },
            10s));
    }
    startTarget();
    const std::string text = "€@\\|{[}{]}{{}{}}{~}µ²ÄÖÜäöüß";
    const std::string expected = "€@\\|[]{}~µ²ÄÖÜäöüß";
    type(text);
    EXPECT_EQ(waitForText(expected), expected);
    if (session_->wayland()) return;
    // The euro sign came from the E key (keycode 26) with the level-3 modifier.
    bool euroFromE = false;
    for (const testing::KeyRecord& key : target_->keys("main"))
        if (key.press && key.text == "€")
            euroFromE = key.scanCode == 26 && (key.nativeModifiers & 0x80);
    EXPECT_TRUE(euroFromE);
}

class GnomeKeyboardState : public KeyboardTyping {
  protected:
    // The extension's word on the layout: "('us', '', '', false)".
    std::string layout() {
        return session_
            ->run({"gdbus", "call", "--session", "--dest", "org.tarn.Shell1", "--object-path",
                   "/org/tarn/Shell1", "--method", "org.tarn.Shell1.Layout"})
            .output;
    }
    bool ownSymbolsExist() {
        return access((session_->folder() + "/config/xkb/symbols/tarn").c_str(), F_OK) == 0;
    }
};

// The layout of Tarn's own, for characters the user's lacks, lasts from Send
// to Send; the user's comes back when the keyboard gives it back, and when
// the program that asked for it leaves the bus without a word, as a killed
// one does (here a gdbus call, which ends at once).
TEST_P(GnomeKeyboardState, TheUsersLayoutComesBackAfterARunAndAfterAKill) {
    startTarget();
    const std::string user = layout();
    ASSERT_NE(user.find("false"), std::string::npos) << user;
    type("\u65e5");
    type("x");
    EXPECT_NE(layout().find("true"), std::string::npos);
    EXPECT_TRUE(ownSymbolsExist());
    keyboard_->restoreLayout();
    EXPECT_EQ(layout(), user);
    EXPECT_FALSE(ownSymbolsExist());
    EXPECT_EQ(waitForText("\u65e5x"), "\u65e5x");

    const RunResult asked =
        session_->run({"gdbus", "call", "--session", "--dest", "org.tarn.Shell1", "--object-path",
                       "/org/tarn/Shell1", "--method", "org.tarn.Shell1.UseOwnLayout",
                       "default xkb_symbols \"basic\" { include \"us\" };"});
    ASSERT_EQ(asked.exitStatus, 0) << asked.output;
    EXPECT_TRUE(testing::waitUntil([&] { return layout() == user && !ownSymbolsExist(); }, 5s));
}

const auto kDesktopName = [](const auto& info) { return std::string(testing::name(info.param)); };
INSTANTIATE_TEST_SUITE_P(Desktops, KeyboardTyping,
                         ::testing::Values(WindowManager::None, WindowManager::Openbox,
                                           WindowManager::Sway, WindowManager::KWin,
                                           WindowManager::GnomeShell),
                         kDesktopName);
INSTANTIATE_TEST_SUITE_P(Desktops, GnomeKeyboardState, ::testing::Values(WindowManager::GnomeShell),
                         kDesktopName);
INSTANTIATE_TEST_SUITE_P(Desktops, X11KeyboardState,
                         ::testing::Values(WindowManager::None, WindowManager::Openbox),
                         kDesktopName);

// Forty-five characters the US layout lacks: more than an X11 program under
// XWayland has room for (it sees keycodes up to 255 only, 17 of them spare,
// two characters each), fewer than a Wayland program has.
constexpr char32_t kOffLayout[] = U"éöüàçñßøåæ€£αβγδεζηθλμπσжзий本語ùûêëîïôœ¥§ωψφκν";
constexpr std::size_t kOffLayoutCount = std::size(kOffLayout) - 1;
static_assert(kOffLayoutCount == 45);

// A desktop, the window system and keyboard Tarn uses there, and terminals
// whose program writes every byte it receives to a file: xterm, an X11
// program (under XWayland on sway), and on sway foot, a Wayland program.
class TypingIntoTerminals : public ::testing::TestWithParam<WindowManager> {
  protected:
    void SetUp() override {
        backends_ = testing::connectBackends(session_, host_);
        ASSERT_TRUE(backends_.windows && backends_.keyboard);
    }
    void TearDown() override {
        for (pid_t terminal : terminals_)
            session_.kill(terminal);
    }

    // A raw terminal with that title, focused; returns its file (empty when
    // it could not be focused).
    std::string startTerminal(const std::string& title, Terminal kind) {
        pid_t pid = -1;
        const std::string out = testing::startTerminalToFile(session_, title, true, &pid, kind);
        terminals_.push_back(pid);
        return focus(title) ? out : std::string();
    }
    bool focus(const std::string& title) {
        const WindowId window = testing::waitForTitle(*backends_.windows, title);
        return window && testing::waitShown(*backends_.windows, window) &&
               backends_.windows->setForeground(window);
    }

    // The file once it holds as many bytes as `expected`, or after 30 s.
    std::string waitForBytes(const std::string& out, const std::string& expected) {
        std::string text;
        testing::waitUntil(
            [&] { return (text = platformtest::readFile(out)).size() >= expected.size(); }, 30s);
        return text;
    }

    // Types the characters as one Send; adds them to `expected`.
    void typeCharacters(const std::u32string& characters, std::string& expected) {
        KeySequence keys;
        for (char32_t c : characters) {
            keys.push_back({KeyEvent::Type::Press, Key::Character, c});
            keys.push_back({KeyEvent::Type::Release, Key::Character, c});
            utf8::append(expected, c);
        }
        backends_.keyboard->type(keys);
    }

    XSession session_{GetParam()};
    PlainHost host_;
    testing::DesktopBackends backends_;
    std::vector<pid_t> terminals_;
};
class KeycodesRotating : public TypingIntoTerminals {};
class KeyboardTypingXWayland : public TypingIntoTerminals {};
class KeyboardTypingSway : public TypingIntoTerminals {};

// An X11 program sees keycodes up to 255 only, with fewer spare ones than the
// characters here: the keycodes they are bound to change meaning again and
// again while the program still has keys typed through them to handle, in one
// Send and from Send to Send. Every character arrives as typed.
TEST_P(KeycodesRotating, UnderAnX11ProgramKeepEveryCharacter) {
    const std::string out = startTerminal("tarn-x11-keys", Terminal::X11);
    ASSERT_FALSE(out.empty());

    // One Send with more distinct characters than there are keycodes.
    std::string expected;
    typeCharacters(std::u32string(kOffLayout, 40), expected);
    ASSERT_EQ(waitForBytes(out, expected), expected) << "one Send";

    // Lines of three, cycling through them all: every line rebinds.
    for (std::size_t line = 0; line < 200; ++line) {
        const std::string prefix = "l" + std::to_string(line) + " ";
        KeySequence keys = parseKeys(prefix);
        expected += prefix;
        for (std::size_t k = 0; k < 3; ++k) {
            const char32_t c = kOffLayout[(line * 3 + k) % kOffLayoutCount];
            keys.push_back({KeyEvent::Type::Press, Key::Character, c});
            keys.push_back({KeyEvent::Type::Release, Key::Character, c});
            utf8::append(expected, c);
        }
        const KeySequence enter = parseKeys("{ENTER}");
        keys.insert(keys.end(), enter.begin(), enter.end());
        expected += '\r';
        backends_.keyboard->type(keys);
    }
    // Line by line: how many arrived otherwise, and the first few of them.
    const std::string got = waitForBytes(out, expected);
    auto lines = [](const std::string& text) {
        std::vector<std::string> split;
        for (std::size_t begin = 0, end; begin < text.size(); begin = end + 1) {
            end = std::min(text.find('\r', begin), text.size());
            split.push_back(text.substr(begin, end - begin));
        }
        return split;
    };
    const std::vector<std::string> gotLines = lines(got), expectedLines = lines(expected);
    std::size_t wrong = 0;
    std::string shown;
    for (std::size_t i = 0; i < expectedLines.size(); ++i) {
        const std::string line = i < gotLines.size() ? gotLines[i] : "";
        if (line == expectedLines[i]) continue;
        if (++wrong <= 5) shown += " \"" + line + "\" for \"" + expectedLines[i] + "\";";
    }
    EXPECT_TRUE(got == expected) << wrong << " of " << expectedLines.size()
                                 << " lines arrived otherwise:" << shown;
}

// A Wayland program sees every keycode, and the characters typed into it are
// bound above 255 where they fit: typed next into an X11 program, which sees
// none of those keycodes, and then into the Wayland program again, every one
// arrives.
TEST_P(KeyboardTypingXWayland, CharactersBoundForAWaylandProgramReachAnX11ProgramNext) {
    const std::u32string all(kOffLayout, kOffLayoutCount);
    const std::string foot = startTerminal("tarn-wayland-keys", Terminal::Native);
    ASSERT_FALSE(foot.empty());
    std::string intoFoot;
    typeCharacters(all, intoFoot);
    ASSERT_EQ(waitForBytes(foot, intoFoot), intoFoot) << "into foot";

    const std::string xterm = startTerminal("tarn-x11-keys", Terminal::X11);
    ASSERT_FALSE(xterm.empty());
    std::string intoXterm;
    typeCharacters(all, intoXterm);
    // And in Sends of three, as a macro types line by line.
    for (std::size_t i = 0; i < kOffLayoutCount; i += 3)
        typeCharacters(all.substr(i, 3), intoXterm);
    EXPECT_EQ(waitForBytes(xterm, intoXterm), intoXterm) << "into xterm";

    ASSERT_TRUE(focus("tarn-wayland-keys"));
    typeCharacters(all, intoFoot);
    EXPECT_EQ(waitForBytes(foot, intoFoot), intoFoot) << "into foot again";
}

// Xwayland that falls behind the keys the compositor hands it repeats a key
// whose release it has not handled yet and loses others: a long Send, with
// Shift between the characters, waits for it as for any program.
TEST_P(KeyboardTypingXWayland, ALongSendIntoAnX11ProgramArrivesWhole) {
    const std::string xterm = startTerminal("tarn-x11-long", Terminal::X11);
    ASSERT_FALSE(xterm.empty());
    const char32_t alphabet[] = U"abcXYZ019 !@#(){}~";
    std::u32string text;
    for (std::size_t i = 0; i < 20000; ++i)
        text += alphabet[(i * 7919) % (std::size(alphabet) - 1)];
    std::string expected;
    typeCharacters(text, expected);
    EXPECT_EQ(waitForBytes(xterm, expected), expected);
}

// A program that stops reading its keys ends the Send with 1012 and is not
// dropped by the compositor for what it left unread; what it left holds up
// no later Send into another window.
TEST_P(KeyboardTypingSway, AProgramThatStopsReadingEndsItsSendAndHoldsUpNoOther) {
    const std::string other = startTerminal("tarn-after-hung", Terminal::Native);
    ASSERT_FALSE(other.empty());
    ASSERT_FALSE(startTerminal("tarn-hung", Terminal::Native).empty());
    const pid_t hung = terminals_.back();
    ASSERT_EQ(::kill(hung, SIGSTOP), 0);
    std::string lost;
    const auto failure =
        test::Harness::failureOf([&] { typeCharacters(std::u32string(20000, U'x'), lost); });
    EXPECT_EQ(failure ? failure->number() : 0, 1012);
    EXPECT_TRUE(testing::waitForTitle(*backends_.windows, "tarn-hung", 0, 1s)) << "dropped";

    ASSERT_TRUE(focus("tarn-after-hung"));
    std::string expected;
    typeCharacters(U"after the hung one", expected);
    EXPECT_EQ(waitForBytes(other, expected), expected);
    ::kill(hung, SIGKILL);
}

INSTANTIATE_TEST_SUITE_P(Desktops, KeycodesRotating,
                         ::testing::Values(WindowManager::None, WindowManager::Sway), kDesktopName);
INSTANTIATE_TEST_SUITE_P(Desktops, KeyboardTypingXWayland, ::testing::Values(WindowManager::Sway),
                         kDesktopName);
INSTANTIATE_TEST_SUITE_P(Desktops, KeyboardTypingSway, ::testing::Values(WindowManager::Sway),
                         kDesktopName);

// Two runs on one display, each with characters off the layout: giving its
// keycodes back, one leaves the other's binding between them alone, and the
// map ends as it began.
TEST(KeyboardTypingTwoRuns, GivingKeycodesBackLeavesTheOtherRunsBetweenThemAlone) {
    XSession session(WindowManager::None);
    const CoreMap before = coreMap(session);
    auto first = x11::XTestKeyboard::connect(session.display().c_str());
    auto second = x11::XTestKeyboard::connect(session.display().c_str());
    ASSERT_TRUE(first && second);
    constexpr std::uint32_t kEacute = 0xe9, kZhe = 0x6d6, kSharpS = 0xdf;
    first->type(parseKeys("\u00e9"));
    second->type(parseKeys("\u0436"));
    first->type(parseKeys("\u00df"));
    const CoreMap bound = coreMap(session);
    const int zhe = bound.keycodeOf(kZhe);
    ASSERT_LT(bound.keycodeOf(kEacute), zhe);
    ASSERT_LT(zhe, bound.keycodeOf(kSharpS));
    first->restoreLayout();
    EXPECT_EQ(coreMap(session).keycodeOf(kZhe), zhe);
    second->restoreLayout();
    EXPECT_EQ(coreMap(session).keysyms, before.keysyms);
}

}  // namespace
}  // namespace tarn

namespace tarn {
namespace {

// A run killed in the middle of a Send leaves Shift and a letter down, and a
// keycode bound; the next run on the display lets the keys go and gives the
// keycode back, also while the killed run is not yet collected (a zombie
// that kill() still finds) and once its number belongs to another process.
TEST(KeyboardTypingKilledRun, TheNextRunLetsItsKeysGoAndGivesItsKeycodesBack) {
    XSession session(WindowManager::None);
    const CoreMap before = coreMap(session);
    PlainHost host;
    auto backends = testing::connectBackends(session, host);
    ASSERT_TRUE(backends.windows);
    testing::startTerminalToFile(session, "tarn-killed");
    ASSERT_TRUE(
        backends.windows->setForeground(testing::waitForTitle(*backends.windows, "tarn-killed")));
    const KeySequence keys = parseKeys("é+(" + std::string(200000, 'a') + ")");
    const pid_t typist = ::fork();
    if (typist == 0) {
        try {
            if (auto keyboard = x11::XTestKeyboard::connect(session.display().c_str()))
                keyboard->type(keys);
        } catch (...) {
        }
        ::_exit(0);
    }
    ASSERT_GT(typist, 0);
    // The server takes the keys far ahead of what the terminal shows: it is
    // the server that must be seen with Shift down, and 200,000 letters
    // later it still is.
    ASSERT_TRUE(testing::waitUntil([&] { return !session.keysDown().empty(); }, 30s));
    ::kill(typist, SIGKILL);
    // Dead, not yet collected.
    ASSERT_TRUE(testing::waitUntil(
        [&] {
            std::ifstream stat("/proc/" + std::to_string(typist) + "/stat");
            std::string all((std::istreambuf_iterator<char>(stat)), {});
            return all.find(") Z ") != std::string::npos;
        },
        10s));
    EXPECT_FALSE(session.keysDown().empty());
    EXPECT_NE(coreMap(session).keysyms, before.keysyms);

    auto next = x11::XTestKeyboard::connect(session.display().c_str());
    ASSERT_TRUE(next);
    EXPECT_TRUE(session.keysDown().empty());
    EXPECT_EQ(coreMap(session).keysyms, before.keysyms);
    int status = 0;
    ::waitpid(typist, &status, 0);
}

// Another run holds every spare keycode and goes on holding them: a
// character the layout lacks is not typed through a keycode that means
// another; the Send ends with 1014, nothing of it typed.
TEST(KeyboardTypingKilledRun, AnotherRunHoldingEverySpareKeyIsAClearFailure) {
    XSession session(WindowManager::None);
    PlainHost host;
    auto backends = testing::connectBackends(session, host);
    const std::string out = testing::startTerminalToFile(session, "tarn-busy");
    ASSERT_TRUE(
        backends.windows->setForeground(testing::waitForTitle(*backends.windows, "tarn-busy")));
    int done[2];
    ASSERT_EQ(::pipe(done), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        try {
            if (auto keyboard = x11::XTestKeyboard::connect(session.display().c_str())) {
                keyboard->type(parseKeys(manyCjk(40)));
                char byte;
                (void)::read(done[0], &byte, 1);
            }
        } catch (...) {
        }
        ::_exit(0);
    }
    const std::string held = manyCjk(40);
    ASSERT_TRUE(testing::waitUntil(
        [&] {
            const std::string got = platformtest::readFile(out);
            return got.size() >= held.size();
        },
        30s));
    const auto failure =
        test::Harness::failureOf([&] { backends.keyboard->type(parseKeys("aé")); });
    EXPECT_EQ(failure ? failure->number() : 0, 1014);
    (void)::write(done[1], "x", 1);
    int status = 0;
    ::waitpid(other, &status, 0);
    ::close(done[0]);
    ::close(done[1]);
    EXPECT_EQ(platformtest::readFile(out), held);
}

}  // namespace
}  // namespace tarn
