// SPDX-License-Identifier: GPL-3.0-or-later
// Recording and playback agree on any layout and desktop: physical keys
// pressed through XTEST into the editor's recorder give Send statements that
// the real tarn program types into an xterm as exactly the bytes that the same
// keys give when typed straight into such an xterm. One table per layout: the
// keys typed and what the recorder writes for them, each table typed at
// machine speed, with no delay and with one millisecond between events, as a
// barcode scanner or an auto-typer types. A key held while the server repeats
// it is recorded once. On X11 (Xvfb with openbox) everything is on the one
// display; on sway the recorder and the xterms are X11 programs under
// XWayland, where XTEST presses keys by their codes, and tarn plays the
// recording back through the compositor.

#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <tuple>

#include "TarnProgram.h"

namespace tarn::e2e {
namespace {

using testing::WindowManager;
using testing::XSession;

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at = text.find(separator); at != std::string::npos;
         at = text.find(separator, from)) {
        parts.push_back(text.substr(from, at - from));
        from = at + separator.size();
    }
    parts.push_back(text.substr(from));
    return parts;
}

// Physical keys pressed and released through XTEST, by their evdev keycodes,
// whatever the layout makes of them. A key is named by what it carries on a
// United States keyboard: "y" is the key that types z on a German one.
// "<name>" taps a named key, "<name+>" presses it and "<name->" releases it;
// the name is one such character or one of the names below. The server
// holds back each event for the given delay after the one before.
class PhysicalKeys {
  public:
    PhysicalKeys(const std::string& display, std::uint32_t delayMs)
        : c_(xcb_connect(display.c_str(), nullptr)), delayMs_(delayMs) {
        if (xcb_connection_has_error(c_)) throw std::runtime_error("no display for the keys");
    }
    ~PhysicalKeys() { xcb_disconnect(c_); }

    void type(const std::string& keys) {
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (keys[i] != '<') {
                fake(XCB_KEY_PRESS, keycode(std::string(1, keys[i])));
                fake(XCB_KEY_RELEASE, keycode(std::string(1, keys[i])));
                continue;
            }
            const std::size_t end = keys.find('>', i + 2);
            std::string name = keys.substr(i + 1, end - i - 1);
            i = end;
            const char how = name.size() > 1 ? name.back() : ' ';
            if (how == '+' || how == '-') name.pop_back();
            if (how != '-') fake(XCB_KEY_PRESS, keycode(name));
            if (how != '+') fake(XCB_KEY_RELEASE, keycode(name));
        }
        sync();
    }

    // Presses a key and releases it the given time later.
    void hold(const std::string& name, std::uint32_t ms) {
        fake(XCB_KEY_PRESS, keycode(name));
        xcb_test_fake_input(c_, XCB_KEY_RELEASE, keycode(name), ms, XCB_NONE, 0, 0, 0);
        sync();
    }

  private:
    // Every key has reached the server before the test goes on.
    void sync() { free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    static std::uint8_t keycode(const std::string& name) {
        static const std::map<std::string, std::uint8_t> named{
            {"shift", 50}, {"ctrl", 37}, {"alt", 64}, {"altgr", 108}, {"lsgt", 94},
            {"enter", 36}, {"tab", 23},  {"bs", 22},  {"f5", 71},     {"f12", 96}};
        if (named.count(name)) return named.at(name);
        static const std::pair<const char*, std::uint8_t> rows[] = {
            {"1234567890-=", 10}, {"qwertyuiop[]", 24}, {"asdfghjkl;'`", 38}, {"zxcvbnm,./", 52}};
        for (const auto& [row, first] : rows) {
            if (const char* at = std::strchr(row, name[0]); at && name.size() == 1)
                return std::uint8_t(first + (at - row));
        }
        if (name == "\\") return 51;
        if (name == " ") return 65;
        throw std::runtime_error("no key " + name);
    }

    void fake(std::uint8_t type, std::uint8_t keycode) {
        xcb_test_fake_input(c_, type, keycode, delayMs_, XCB_NONE, 0, 0, 0);
    }

    xcb_connection_t* c_;
    std::uint32_t delayMs_;
};

struct Row {
    const char* typed;     // physical keys, as PhysicalKeys reads them
    const char* recorded;  // what the recorder writes for them
};

struct Layout {
    const char* name;
    std::vector<Row> rows;
};

void PrintTo(const Layout& layout, std::ostream* out) {
    *out << layout.name;
}

// The desktop, the layout, and the milliseconds between two key events.
using Typing = std::tuple<WindowManager, Layout, std::uint32_t>;

// Each row ends with F12, so that its part of the recording and of the bytes
// can be told apart; xterm sends F12 as this.
const std::string kRowEnd = "<f12>";
const std::string kRowEndRecorded = "{F12}";
const std::string kRowEndBytes = "\x1b[24~";

// The bytes the file holds once every row's end has arrived (or the time is up).
std::string rowsArrived(const std::string& file, std::size_t rows) {
    std::string got;
    testing::waitUntil(
        [&] {
            got = platformtest::readFile(file);
            return split(got, kRowEndBytes).size() > rows;
        },
        20s);
    return got;
}

// What the editor's recorder writes for the keys that `type` types into it
// (the text between the quotes of its Send statement), once it has written
// `rows` row ends.
std::string recordingOf(XSession& session, Desktop& desktop, const std::function<void()>& type,
                        std::size_t rows) {
    testing::PipedChild host = session.spawnPiped(
        {TARN_RECORDER_HOST}, {"QT_QPA_PLATFORM=xcb", "DBUS_SESSION_BUS_ADDRESS=disabled:",
                               "LC_ALL=C.UTF-8", "QT_IM_MODULE=compose"});
    const auto hasReady = [](const std::string& got) { return got.find("ready\n") != got.npos; };
    if (!hasReady(testing::readUntil(host.output, 20s, hasReady))) {
        session.kill(host.pid);
        return "(the recorder never got ready)";
    }
    // Under XWayland the recorder may have the X focus before the
    // compositor's keyboard focus reaches XWayland, and its arrival sets the
    // modifiers to the compositor's: a Shift pressed through XTEST before it
    // would be let go. Once the compositor shows the window active, it has
    // sent that focus along.
    if (!desktop.activate(desktop.waitForWindow("Untitled - Tarn Macro Editor"))) {
        session.kill(host.pid);
        return "(the recorder never got the keyboard focus)";
    }
    type();
    testing::readUntil(host.output, 20s, [&](const std::string& got) {
        const std::size_t last = got.rfind("text:");
        return last != got.npos && got.find('\n', last) != got.npos &&
               split(got.substr(last), kRowEndRecorded).size() > rows;
    });
    const auto hasEnd = [](const std::string& got) { return got.find("\nEND\n") != got.npos; };
    std::string text;
    if (::write(host.input, "stop\n", 5) == 5) text = testing::readUntil(host.output, 20s, hasEnd);
    ::close(host.input);
    ::close(host.output);
    session.kill(host.pid);
    if (!hasEnd(text)) return "(no end of the recording)" + text;
    text.erase(text.find("\nEND\n"));
    text.erase(0, text.rfind("Send \""));
    if (text.size() < 8 || text.compare(text.size() - 2, 2, "\"\n") != 0)
        return "(no Send statement)" + text;
    return text.substr(6, text.size() - 8);
}

class RecorderPlayback : public ::testing::TestWithParam<Typing> {
  protected:
    XSession session{std::get<0>(GetParam())};

    std::string startXterm(Desktop& desktop, const std::string& title) {
        const std::string out =
            testing::startTerminalToFile(session, title, true, nullptr, testing::Terminal::X11);
        desktop.activate(desktop.waitForWindow(title));
        return out;
    }
};

TEST_P(RecorderPlayback, PlaysBackTheBytesTheKeysType) {
    const auto& [desktopKind, layout, delayMs] = GetParam();
    const std::size_t rows = layout.rows.size();
    ASSERT_EQ(session
                  .run({"setxkbmap", "-display", session.display(), "-model", "pc105", "-layout",
                        layout.name})
                  .exitStatus,
              0);
    Desktop desktop(session);
    PhysicalKeys keys(session.display(), delayMs);

    std::string all;
    for (const Row& row : layout.rows)
        all += row.typed + kRowEnd;
    const std::string recording = recordingOf(
        session, desktop, [&] { keys.type(all); }, rows);
    const std::vector<std::string> recorded = split(recording, kRowEndRecorded);
    ASSERT_EQ(recorded.size(), rows + 1) << recording;
    for (std::size_t i = 0; i < rows; ++i)
        EXPECT_EQ(recorded[i], layout.rows[i].recorded) << layout.rows[i].typed;

    // The same keys straight into an xterm.
    const std::string direct = startXterm(desktop, "Typed");
    keys.type(all);
    const std::vector<std::string> typed = split(rowsArrived(direct, rows), kRowEndBytes);

    // The recording played back into another.
    const std::string played = startXterm(desktop, "Played");
    TarnProgram tarn(session);
    const std::string macro = tarn.writeMacro(
        "recorded.mcr", "TimeOut 20\r\nSetFocus Played,2\r\nSend \"" + recording + "\"\r\n");
    tarn.start({macro});
    EXPECT_EQ(tarn.waitForExit(60s), 0) << tarn.trace();
    const std::vector<std::string> back = split(rowsArrived(played, rows), kRowEndBytes);

    ASSERT_EQ(typed.size(), rows + 1);
    ASSERT_EQ(back.size(), rows + 1);
    for (std::size_t i = 0; i < rows; ++i) {
        EXPECT_EQ(back[i], typed[i]) << layout.rows[i].typed << " recorded as " << recorded[i];
        EXPECT_FALSE(typed[i].empty()) << layout.rows[i].typed;
    }
}

const Layout kLayouts[] = {
    {"us",
     {
         // Shift released before its key, as fast typists do.
         {"<shift+><h+><shift-><h->i", "Hi"},
         {"<shift+><1+><shift-><1-><shift+><2+><shift-><2-><shift+><3+><shift-><3->", "!@#"},
         {"<shift+><[+><shift-><[->", "{{}"},
         {"<ctrl+><c+><ctrl-><c-><alt+><f+><alt-><f->", "^c%f"},
         // Modifiers released after their keys; a chord of two keys.
         {"<shift+>ab<shift-><ctrl+>ab<ctrl->", "AB^(ab)"},
         {"<ctrl+><shift+>c<shift-><ctrl->", "+^C"},
         {"<shift+>9<shift->a<shift+>=<shift->b<shift+>0<shift->", "{(}a{+}b{)}"},
         // Shift alone, then a key.
         {"<shift>x", "+()x"},
         {"<f5><enter><tab><bs>", "{F5}{ENTER}{TAB}{BS}"},
         {"<lsgt><shift+><lsgt><shift->", "<>"},
         // A key again in the millisecond of its release is another key.
         {"<shift+>m<shift->ississippi balloon", "Mississippi balloon"},
         {"aabbccddee11223344", "aabbccddee11223344"},
         {"llllllllll", "llllllllll"},
     }},
    {"de",
     {
         {"yz';[-\\/]<lsgt><shift+><y+><shift-><y-><shift+>-<shift->", "zyäöüß#-{+}<Z?"},
         {"<altgr+>q<altgr-><altgr+>e<altgr->", "@€"},
         // Dead keys: circumflex and acute, in the order of the keys.
         {"`e=e", "êé"},
         {"a=ex=a", "aéxá"},
         // Grave: Shift up before the dead key.
         {"<shift+><=+><shift-><=->e", "è"},
         {"<ctrl+>y<ctrl-><alt+>f<alt->", "^z%f"},
         {"<shift+>ab<shift->", "AB"},
         {"zzyy", "yyzz"},
     }},
    {"fr",
     {
         {"q125<shift+><1+><shift-><1->;'<lsgt>", "a&é{(}1mù<"},
         {"<altgr+>0<altgr-><altgr+>e<altgr->", "@€"},
         // Dead keys: circumflex, and diaeresis with Shift, up before and after the dead key.
         {"[e<shift+>[<shift->e", "êë"},
         {"<shift+><[+><shift-><[->e", "ë"},
         {"<ctrl+>q<ctrl-><alt+>f<alt->", "^a%f"},
         {"<shift+>ab<shift->", "QB"},
         {"qqll", "aall"},
     }},
};

// The name of an instance, as "Openbox_us_NoDelay" or "Sway_de_1ms".
std::string typingName(const ::testing::TestParamInfo<Typing>& info) {
    const std::uint32_t delayMs = std::get<2>(info.param);
    return std::string(testing::name(std::get<0>(info.param))) + "_" +
           std::get<1>(info.param).name + (delayMs == 0 ? "_NoDelay" : "_1ms");
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, RecorderPlayback,
    ::testing::Combine(::testing::Values(WindowManager::Openbox, WindowManager::Sway),
                       ::testing::ValuesIn(kLayouts), ::testing::Values(0u, 1u)),
    typingName);

// A key held past the server's repeat delay is one key, although the server
// repeats it, as the xterm it types into shows: the recorder asks for held
// keys as presses without releases, and a press of a key that is down is a
// repeat.
TEST(RecorderHeldKey, IsOneKeyWhileTheServerRepeatsIt) {
    XSession session{WindowManager::Openbox};
    PhysicalKeys keys(session.display(), 0);
    // Beyond the server's repeat delay, 660 ms unless set otherwise.
    const auto holdL = [&] {
        keys.hold("l", 1200);
        keys.type(kRowEnd);
    };
    Desktop desktop(session);
    EXPECT_EQ(recordingOf(session, desktop, holdL, 1), "l" + kRowEndRecorded);

    const std::string direct = testing::startTerminalToFile(session, "Typed");
    desktop.activate(desktop.waitForWindow("Typed"));
    holdL();
    const std::string typed = rowsArrived(direct, 1);
    EXPECT_GT(split(typed, kRowEndBytes).front().size(), 2u) << typed;
}

}  // namespace
}  // namespace tarn::e2e
