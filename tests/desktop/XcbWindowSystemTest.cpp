// SPDX-License-Identifier: GPL-3.0-or-later
// The X11 window system against a real Xvfb, once with openbox and once with no
// window manager at all, with real programs: xterm and tarn_target.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "DesktopBackends.h"
#include "Failure.h"
#include "Host.h"
#include "PlatformTestSupport.h"
#include "TargetProgram.h"
#include "XSession.h"
#include "XcbWindowSystem.h"

namespace tarn::x11 {
namespace {

using namespace std::chrono_literals;
using namespace testing;  // the desktop test fixture

// Counts the idles so that a test can tell a wait gave the program time.
class CountingHost : public PlainHost {
  public:
    int idles = 0;
    void idle(std::chrono::milliseconds atMost) override {
        ++idles;
        PlainHost::idle(atMost);
    }
};

// A client of the test's own that makes bare windows, with exactly the
// properties the test gives them: no toolkit adds WM_DELETE_WINDOW or a PID.
class BareClient {
  public:
    explicit BareClient(const std::string& display) : c_(xcb_connect(display.c_str(), nullptr)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        wmDeleteWindow_ = testing::internAtom(c_, "WM_DELETE_WINDOW");
    }
    ~BareClient() { xcb_disconnect(c_); }
    BareClient(const BareClient&) = delete;
    BareClient& operator=(const BareClient&) = delete;

    xcb_window_t window(const std::string& title) {
        const xcb_window_t window = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window, root_, 10, 10, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        text(window, XCB_ATOM_WM_NAME, title);
        xcb_map_window(c_, window);
        sync();
        return window;
    }
    void text(xcb_window_t window, xcb_atom_t property, const std::string& value) {
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, property, XCB_ATOM_STRING, 8,
                            static_cast<std::uint32_t>(value.size()), value.data());
        sync();
    }
    void pid(xcb_window_t window, std::uint32_t value) {
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window,
                            testing::internAtom(c_, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1,
                            &value);
        sync();
    }
    // A round trip: whether the server still serves this client.
    bool connected() {
        sync();
        return xcb_connection_has_error(c_) == 0;
    }
    bool deleteRequested(xcb_window_t window) {
        sync();
        while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
            const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && message->window == window &&
                message->data.data32[0] == wmDeleteWindow_)
                deleteRequests_.insert(window);
            std::free(event);
        }
        return deleteRequests_.count(window) > 0;
    }

  private:
    void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    xcb_connection_t* c_;
    xcb_window_t root_ = XCB_NONE;
    xcb_atom_t wmDeleteWindow_ = XCB_NONE;
    std::set<xcb_window_t> deleteRequests_;
};

// _NET_WM_PID and WM_CLIENT_MACHINE are what a client claims, on any window:
// only the server's word, from the client's socket, counts. When the server
// cannot say who the client is (a server without X-Resource, a client
// connected over TCP), the window has no known process, so that a
// KillProcess can never be steered to the process it names.
TEST(XcbWindowSystemPidTest, AClaimedPidNeverCounts) {
    PlainHost host;
    char hostName[256] = {};
    gethostname(hostName, sizeof hostName - 1);
    const struct {
        const char* name;
        std::vector<std::string> server;
        const char* clientHost;  // "" for the local socket
        pid_t expected;
    } cases[] = {
        {"local", {}, "", getpid()},
        {"no X-Resource", {"-extension", "X-Resource"}, "", 0},
        {"over TCP", {"-listen", "tcp"}, "localhost", 0},
    };
    for (const auto& row : cases) {
        XSession session(WindowManager::None, row.server);
        auto windows = XcbWindowSystem::connect(host, session.display().c_str());
        ASSERT_NE(windows, nullptr);
        BareClient client(row.clientHost + session.display());
        const xcb_window_t window = client.window(row.name);
        client.pid(window, static_cast<std::uint32_t>(session.serverPid()));
        client.text(window, XCB_ATOM_WM_CLIENT_MACHINE, hostName);
        ASSERT_TRUE(client.connected()) << row.name;
        EXPECT_EQ(windows->processOf(static_cast<WindowId>(window)), row.expected) << row.name;
    }
}

// The server names a client's process once, when it connects. A client that
// makes a window, forks and exits leaves the window to its child while the
// server still names the parent; once another program gets the parent's
// number, that program must not pass for the window's owner. The server's
// own windows (the root) have no process, and the server is no client.
TEST(XcbWindowSystemPidTest, AnOwnerThatHasGoneAndTheServerItselfHaveNoProcess) {
    if (::access("/proc/sys/kernel/ns_last_pid", W_OK) != 0)
        GTEST_SKIP() << "giving a program a chosen PID needs root";
    PlainHost host;
    XSession session(WindowManager::None);
    auto windows = XcbWindowSystem::connect(host, session.display().c_str());
    ASSERT_NE(windows, nullptr);
    xcb_connection_t* c = xcb_connect(session.display().c_str(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_disconnect(c);
    EXPECT_EQ(windows->processOf(static_cast<WindowId>(root)), 0);
    EXPECT_EQ(windows->serverProcess(), session.serverPid());

    // The client writes its window and its child's PID, waits for a line,
    // and exits; the child keeps the connection open until it is ended.
    int report[2], go[2];
    platformtest::makePipe(report);
    platformtest::makePipe(go);
    pid_t client = fork();
    ASSERT_GE(client, 0);
    if (client == 0) {
        close(report[0]);
        close(go[1]);
        xcb_connection_t* own = xcb_connect(session.display().c_str(), nullptr);
        const xcb_window_t window = xcb_generate_id(own);
        xcb_create_window(own, XCB_COPY_FROM_PARENT, window,
                          xcb_setup_roots_iterator(xcb_get_setup(own)).data->root, 0, 0, 50, 50, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_map_window(own, window);
        std::free(xcb_get_input_focus_reply(own, xcb_get_input_focus(own), nullptr));
        const pid_t keeper = fork();
        if (keeper == 0) {
            close(report[1]);
            close(go[0]);
            for (;;)
                pause();
        }
        const std::string line = std::to_string(window) + " " + std::to_string(keeper) + "\n";
        if (write(report[1], line.data(), line.size()) < 0) _exit(1);
        char byte = 0;
        if (read(go[0], &byte, 1) < 0) _exit(1);
        _exit(0);
    }
    close(report[1]);
    close(go[0]);
    pid_t keeper = 0;
    struct Ender {
        const pid_t& client;
        const pid_t& keeper;
        ~Ender() {
            if (keeper > 0) kill(keeper, SIGKILL);
            if (client > 0) {
                kill(client, SIGKILL);
                platformtest::reapWithin(client, 10s);
            }
        }
    } ender{client, keeper};
    const std::string line = platformtest::readUntil(
        report[0], 10s, [](const std::string& got) { return got.find('\n') != std::string::npos; });
    close(report[0]);
    xcb_window_t window = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%u %d", &window, &keeper), 2) << line;

    EXPECT_EQ(windows->processOf(static_cast<WindowId>(window)), client);
    close(go[1]);
    ASSERT_TRUE(platformtest::reapWithin(client, 10s));
    // From here on the number is anyone's: ending it later could end a
    // process of a test running beside this one.
    const pid_t gone = std::exchange(client, 0);
    EXPECT_TRUE(windows->isWindow(static_cast<WindowId>(window)));
    EXPECT_EQ(windows->processOf(static_cast<WindowId>(window)), 0);
    const pid_t unrelated = platformtest::launchAt(gone, {"sleep", "100000"});
    // Whoever holds the number now, this sleep or a process that forked
    // first, it is not the window's owner.
    EXPECT_EQ(windows->processOf(static_cast<WindowId>(window)), 0);
    if (unrelated > 0) {
        kill(unrelated, SIGKILL);
        platformtest::reapWithin(unrelated, 10s);
    } else {
        EXPECT_EQ(::access("/proc/sys/kernel/ns_last_pid", W_OK), 0)
            << "giving a process a chosen number needs root";
    }
}

class XcbWindowSystemTest : public ::testing::TestWithParam<WindowManager> {
  protected:
    void SetUp() override {
        session = std::make_unique<XSession>(GetParam());
        windows = XcbWindowSystem::connect(host, session->display().c_str());
        ASSERT_NE(windows, nullptr);
    }

    bool withWindowManager() const { return GetParam() == WindowManager::Openbox; }

    TargetProgram& program() {
        if (!target) target = std::make_unique<TargetProgram>(*session);
        return *target;
    }

    std::optional<TopLevelWindow> find(const std::string& title) {
        for (const auto& w : windows->topLevelWindows())
            if (w.title == title) return w;
        return std::nullopt;
    }
    std::optional<TopLevelWindow> find(WindowId id) {
        for (const auto& w : windows->topLevelWindows())
            if (w.id == id) return w;
        return std::nullopt;
    }
    // A window counts as shown once the window manager (if any) has taken it
    // in and it is visible in the list.
    WindowId waitShown(const std::string& name, const std::string& title) {
        auto id = static_cast<WindowId>(program().window(name, title));
        EXPECT_TRUE(testing::waitShown(*windows, id)) << title;
        return id;
    }

    CountingHost host;
    std::unique_ptr<XSession> session;
    std::unique_ptr<XcbWindowSystem> windows;
    std::unique_ptr<TargetProgram> target;
};

TEST_P(XcbWindowSystemTest, ReadsTitlesAsTheWindowsGiveThem) {
    const std::string titles[] = {
        "Plain ASCII title",
        "Grüße – Ärger, naïve café",
        "日本語のウィンドウ ✓ Ελληνικά Кириллица",
        "  spaces around  ",
        std::string(300, 'x') + " long",  // the backend does not cut; the interpreter does
    };
    int n = 0;
    for (const auto& title : titles) {
        auto id = waitShown("w" + std::to_string(n++), title);
        auto found = find(id);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->title, title);
    }
    // A new title is read as soon as the window has set it.
    program().rename("w0", "Renamed – ok");
    EXPECT_TRUE(
        waitUntil([&] { return find(titles[0]) == std::nullopt && find("Renamed – ok"); }, 5s));
    // xterm names itself through WM_NAME alone: in a UTF-8 locale a Latin-1
    // STRING when the title fits, else COMPOUND_TEXT; in the C locale the bytes
    // it was given, as a STRING. The session ends the xterms.
    for (const char* locale : {"LC_ALL=C.UTF-8", "LC_ALL=C"}) {
        for (const char* title : {"Grüße aus Köln", "日本 Grüße"}) {
            std::string unique = std::string(title) + " " + locale;
            session->spawn({"xterm", "-T", unique, "-e", "sleep", "600"}, {locale});
            EXPECT_NE(testing::waitForTitle(*windows, unique), 0);
        }
    }
}

// A window that vanishes is left out without harm, also while windows come
// and go during the enumeration, and fails SetForeground at once; a hidden one
// is mapped when nothing manages it, while a window manager ignores it, which
// the wait gives up on with the program idled all along.
TEST_P(XcbWindowSystemTest, GoneWindowsAreLeftOutAndHiddenOnesShownOnlyWithoutAManager) {
    auto kept = waitShown("kept", "Kept window");
    auto gone = waitShown("gone", "Vanishing window");
    auto last = waitShown("last", "Last window");
    auto id = waitShown("hidden", "Hidden from view");
    program().close("gone");
    program().hide("hidden");
    ASSERT_TRUE(waitUntil([&] { return !windows->isWindow(gone) && !find(id)->visible; }, 5s));
    // As if the stacking list had been read just before the window went.
    auto described = windows->describe({last, gone, kept});
    ASSERT_EQ(described.size(), 2u);
    EXPECT_EQ(described[0].title, "Last window");
    EXPECT_EQ(described[1].title, "Kept window");
    EXPECT_FALSE(windows->isIconic(gone));
    EXPECT_EQ(windows->processOf(gone), 0);
    windows->restore(gone);
    windows->postClose(gone);

    host.idles = 0;
    EXPECT_FALSE(windows->setForeground(gone));
    EXPECT_FALSE(windows->setForeground(0));
    EXPECT_EQ(host.idles, 0);
    EXPECT_EQ(windows->setForeground(id), !withWindowManager());
    EXPECT_EQ(find(id)->visible, !withWindowManager());
    if (withWindowManager())
        EXPECT_GT(host.idles, 10);
    else
        EXPECT_TRUE(program().becomesActive("hidden"));

    // And for real: windows come and go while we enumerate. Whatever is
    // listed is either one of them or was there before.
    std::set<std::string> before;
    for (const auto& w : windows->topLevelWindows())
        before.insert(w.title);
    program().churn(true);
    for (int i = 0; i < 200; ++i) {
        auto all = windows->topLevelWindows();
        ASSERT_TRUE(std::any_of(all.begin(), all.end(),
                                [&](const TopLevelWindow& w) { return w.id == kept; }));
        for (const auto& w : all)
            if (w.title != "churn") {
                EXPECT_TRUE(before.count(w.title)) << w.title;
            }
    }
    program().churn(false);
    EXPECT_TRUE(windows->isWindow(kept));
}

TEST_P(XcbWindowSystemTest, SetForegroundSwitchesToTheWindowsDesktop) {
    if (!withWindowManager()) GTEST_SKIP() << "desktops are the window manager's";
    auto here = waitShown("here", "On the first desktop");
    auto there = waitShown("there", "On the second desktop");
    auto moved = session->run({"xdotool", "set_desktop_for_window", std::to_string(there), "1"});
    ASSERT_EQ(moved.exitStatus, 0);
    auto desktop = [&] { return session->run({"xdotool", "get_desktop"}).output; };
    ASSERT_TRUE(waitUntil([&] { return windows->setForeground(here) && desktop() == "0\n"; }, 5s));
    ASSERT_TRUE(windows->setForeground(there));
    EXPECT_EQ(desktop(), "1\n");
    EXPECT_TRUE(program().becomesActive("there"));
}

// Shown windows close in the macro window tests. A window that does not take
// part in WM_DELETE_WINDOW is closed by the window manager as its close button
// would; without one it gets the request all the same, which is all X offers
// then.
TEST_P(XcbWindowSystemTest, PostCloseClosesHiddenXtermAndProtocolLessWindows) {
    auto hiddenId = waitShown("h", "Close me hidden");
    program().hide("h");
    ASSERT_TRUE(waitUntil([&] { return !find(hiddenId)->visible; }, 5s));
    windows->postClose(hiddenId);
    EXPECT_TRUE(waitUntil([&] { return !windows->isWindow(hiddenId); }, 5s));
    EXPECT_FALSE(find(hiddenId));
    EXPECT_EQ(windows->processOf(hiddenId), 0);

    pid_t xterm = testing::startTerminal(*session, "Close this xterm");
    WindowId term = testing::waitForTitle(*windows, "Close this xterm");
    // Xterm names its window before it takes part in WM_DELETE_WINDOW; a
    // request that comes in between is ignored.
    ASSERT_TRUE(waitUntil(
        [&] {
            return session->run({"xprop", "-id", std::to_string(term), "WM_PROTOCOLS"})
                       .output.find("WM_DELETE_WINDOW") != std::string::npos;
        },
        5s));
    windows->postClose(term);
    EXPECT_TRUE(waitUntil([&] { return !session->running(xterm); }, 15s));
    EXPECT_TRUE(waitUntil([&] { return !windows->isWindow(term); }, 15s));
    // Closing what is gone, or nothing, is harmless.
    windows->postClose(term);
    windows->postClose(0);
    session->kill(xterm);

    BareClient client(session->display());
    const xcb_window_t window = client.window("No close protocol");
    const auto id = static_cast<WindowId>(window);
    // The window manager marks a window shown a moment before it lists it
    // as its own; only then does it take requests for it.
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", window);
    ASSERT_TRUE(testing::waitShown(*windows, id));
    const auto listed = [&] {
        const auto clients = session->run({"xprop", "-root", "_NET_CLIENT_LIST"});
        return clients.output.find(hex) != std::string::npos;
    };
    ASSERT_TRUE(!withWindowManager() || waitUntil(listed, 10s));
    windows->postClose(id);
    if (withWindowManager()) {
        EXPECT_TRUE(waitUntil([&] { return !windows->isWindow(id); }, 5s));
        EXPECT_FALSE(client.connected());
    } else {
        EXPECT_TRUE(waitUntil([&] { return client.deleteRequested(window); }, 5s));
        EXPECT_TRUE(windows->isWindow(id));
    }
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, XcbWindowSystemTest,
                         ::testing::Values(WindowManager::None, WindowManager::Openbox),
                         [](const auto& info) { return std::string(testing::name(info.param)); });

}  // namespace
}  // namespace tarn::x11
