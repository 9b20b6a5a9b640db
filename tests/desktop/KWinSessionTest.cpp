// SPDX-License-Identifier: GPL-3.0-or-later
// What only Plasma has, on a headless KWin: the stop key through
// KGlobalAccel, the grant of fake input by an installed desktop file, and
// the user's keyboard configuration as it was after a run that was killed
// while it typed through the scratch layout.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DesktopBackends.h"
#include "FakeInputConnection.h"
#include "FakeInputKeyboard.h"
#include "GlobalAccelStopKey.h"
#include "Harness.h"
#include "KWinWindowSystem.h"
#include "KeyNotation.h"
#include "ScratchLayout.h"
#include "TargetProgram.h"
#include "XSession.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;
using namespace testing;  // the desktop test fixture
namespace fs = std::filesystem;

constexpr int kQtKeyPause = 0x01000008;

class KWinSession : public ::testing::Test {
  protected:
    void SetUp() override {
        // The tarn program is granted fake input as its package grants it,
        // except where a test says otherwise.
        std::vector<std::string> granted;
        if (grantTarn) granted.push_back(fs::canonical(TARN_BINARY));
        session = std::make_unique<XSession>(WindowManager::KWin, std::vector<std::string>{},
                                             std::string(), granted);
        auto backends = connectBackends(*session, host);
        windows = std::move(backends.windows);
        keyboard = std::move(backends.keyboard);
        ASSERT_TRUE(windows && keyboard);
        target = std::make_unique<TargetProgram>(*session);
        const WindowId window = showWindow(*session, *windows, *target, "main", "Tarn keys");
        ASSERT_TRUE(windows->setForeground(window));
        ASSERT_TRUE(target->becomesActive("main"));
    }

    bool pausesReceived(int count) {
        int found = 0;
        for (const KeyRecord& key : target->keys("main"))
            if (key.press && key.key == kQtKeyPause) ++found;
        return found == count;
    }

    // Runs the tarn program on `macro` in the session, with the session's
    // own configuration folders; its PID.
    pid_t startTarn(const std::string& macro) {
        const std::string file = session->folder() + "/run.mcr";
        platformtest::writeFile(file, macro);
        return session->spawn({TARN_BINARY, "--batch", file});
    }
    int exitStatus(pid_t pid) {
        int status = -1;
        waitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 30s);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string config(const std::string& file) { return session->folder() + "/config/" + file; }

    bool grantTarn = true;
    PlainHost host;
    std::unique_ptr<XSession> session;
    std::unique_ptr<WindowSystem> windows;
    std::unique_ptr<Keyboard> keyboard;
    std::unique_ptr<TargetProgram> target;
};

// Armed, Pause reaches Tarn (its descriptor wakes) and not the window; a
// Pause the run types itself, and any Pause once disarmed, reach the window.
TEST_F(KWinSession, PauseStopsTheRunInsteadOfReachingTheWindow) {
    auto stop = kwin::GlobalAccelStopKey::connect(session->busAddress().c_str());
    ASSERT_TRUE(stop);
    int raised = 0;
    stop->Pressed = [&] { ++raised; };
    ASSERT_TRUE(stop->arm());
    EXPECT_FALSE(stop->pressed());
    keyboard->type(parseKeys("a{BREAK}b"));
    pollfd watched{stop->descriptor(), POLLIN, 0};
    EXPECT_EQ(::poll(&watched, 1, 5000), 1);
    EXPECT_TRUE(stop->pressed());
    EXPECT_EQ(raised, 1);
    EXPECT_TRUE(waitUntil([&] { return target->text("main") == "ab"; }, 5s));
    EXPECT_TRUE(pausesReceived(0));

    keyboard->setStopKey(stop.get());
    ASSERT_TRUE(stop->arm());
    keyboard->type(parseKeys("{BREAK}c"));
    EXPECT_TRUE(waitUntil([&] { return pausesReceived(1); }, 5s));
    EXPECT_FALSE(stop->pressed());
    keyboard->setStopKey(nullptr);

    stop->disarm();
    keyboard->type(parseKeys("{BREAK}d"));
    EXPECT_TRUE(waitUntil([&] { return pausesReceived(2); }, 5s));
    EXPECT_EQ(target->text("main"), "abcd");
    EXPECT_EQ(raised, 1);
}

class KWinSessionWithoutGrant : public KWinSession {
  protected:
    void SetUp() override {
        grantTarn = false;
        KWinSession::SetUp();
    }
};

// Caps Lock on changes nothing in the text and stays on; a {CAPSLOCK} in
// the keys toggles it, as asked.
TEST_F(KWinSession, CapsLockChangesNothingAndStaysAsItWas) {
    auto watch = kwin::FakeInputConnection::connect(session->waylandDisplay().c_str());
    ASSERT_TRUE(watch);
    ASSERT_EQ(watch->capsLocked(), false);
    keyboard->type(parseKeys("{CAPSLOCK}"));
    ASSERT_EQ(watch->capsLocked(), true);
    keyboard->type(parseKeys("abc+d"));
    EXPECT_TRUE(waitUntil([&] { return target->text("main") == "abcD"; }, 5s))
        << target->text("main");
    EXPECT_EQ(watch->capsLocked(), true);
    keyboard->type(parseKeys("{CAPSLOCK}x"));
    EXPECT_TRUE(waitUntil([&] { return target->text("main") == "abcDx"; }, 5s))
        << target->text("main");
    EXPECT_EQ(watch->capsLocked(), false);
}

// A layout KWin does not take (here: written where KWin does not read) fails
// the Send with error 5 within the time-out, with nothing typed and the
// keyboard configuration as it was.
TEST_F(KWinSession, ALayoutKWinDoesNotTakeFailsTheSendAndChangesNothing) {
    const std::string elsewhere = session->folder() + "/elsewhere";
    fs::create_directories(elsewhere + "/xkb");
    const std::string kxkbrc = "[Layout]\nLayoutList=us\nUse=true\n";
    platformtest::writeFile(elsewhere + "/kxkbrc", kxkbrc);
    kwin::FakeInputKeyboard::Refusal refusal{};
    auto misled =
        kwin::FakeInputKeyboard::connect(session->waylandDisplay().c_str(),
                                         session->busAddress().c_str(), elsewhere.c_str(), refusal);
    ASSERT_TRUE(misled);
    const auto failure = test::Harness::failureOf([&] { misled->type(parseKeys("abé")); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->number(), 5);
    EXPECT_EQ(platformtest::readFile(elsewhere + "/kxkbrc"), kxkbrc);
    EXPECT_FALSE(fs::exists(elsewhere + "/xkb/symbols/tarn"));
    EXPECT_FALSE(fs::exists(elsewhere + "/tarn/kwin-keyboard.saved"));
    keyboard->type(parseKeys("z"));
    EXPECT_TRUE(waitUntil([&] { return target->text("main") == "z"; }, 5s)) << target->text("main");
}

// A tarn that no installed desktop file names is refused fake input: it says
// how to grant it in one line and types nothing.
TEST_F(KWinSessionWithoutGrant, SaysHowToGrantFakeInputAndTypesNothing) {
    const std::string err = session->folder() + "/tarn.err";
    const std::string file = session->folder() + "/run.mcr";
    platformtest::writeFile(file, "Send refused\n");
    const RunResult run = session->run(
        {"sh", "-c", std::string("\"$0\" --batch \"$1\" 2>\"$2\""), TARN_BINARY, file, err}, 30s);
    EXPECT_NE(run.exitStatus, 0);
    const std::string said = platformtest::readFile(err);
    EXPECT_NE(said.find("error 70"), std::string::npos) << said;
    EXPECT_NE(said.find("desktop file"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(target->text("main"), "");
}

// Killed while it types through the scratch layout, tarn leaves kxkbrc and
// the symbols file changed; the next start puts them back as they were.
TEST_F(KWinSession, TheNextStartRestoresWhatAKilledRunChanged) {
    ASSERT_TRUE(session->setKeyboardLayout("de"));
    const std::string before = platformtest::readFile(config("kxkbrc"));
    ASSERT_NE(before.find("LayoutList=de,us\n"), std::string::npos);

    std::string macro;  // far more than it types before it is killed
    for (int i = 0; i < 500; ++i)
        macro += "Send {é 500}\n";
    const pid_t killed = startTarn(macro);
    // Killed as soon as it has changed the configuration, so that the target
    // is not swamped with what it types meanwhile.
    // The record is written before the change it records: both must be there.
    ASSERT_TRUE(waitUntil(
        [&] {
            return fs::exists(config("tarn/kwin-keyboard.saved")) &&
                   platformtest::readFile(config("kxkbrc")) != before &&
                   fs::exists(config("xkb/symbols/tarn"));
        },
        20s, std::chrono::milliseconds(1)))
        << "tarn never typed through the scratch layout";
    ::kill(killed, SIGKILL);
    exitStatus(killed);
    EXPECT_NE(platformtest::readFile(config("kxkbrc")), before);
    EXPECT_TRUE(fs::exists(config("xkb/symbols/tarn")));

    // Keys the killed run typed may still be on their way to the target.
    const pid_t next = startTarn("Send {END}ok\n");
    EXPECT_EQ(exitStatus(next), 0);
    EXPECT_TRUE(waitUntil(
        [&] {
            const std::string text = target->text("main");
            return text.size() >= 2 && text.substr(text.size() - 2) == "ok";
        },
        5s))
        << target->text("main");
    EXPECT_EQ(platformtest::readFile(config("kxkbrc")), before);
    EXPECT_FALSE(fs::exists(config("xkb/symbols/tarn")));
    EXPECT_FALSE(fs::exists(config("tarn/kwin-keyboard.saved")));
    const RunResult layouts =
        session->run({"gdbus", "call", "--session", "--dest", "org.kde.KWin", "--object-path",
                      "/Layouts", "--method", "org.kde.KeyboardLayouts.getLayoutsList"});
    EXPECT_EQ(layouts.output.find("tarn"), std::string::npos) << layouts.output;
}

// What Tarn reads from KWin and writes into the user's kxkbrc.
TEST(KWinText, TwinSuffixesLayoutNamesAndKxkbrcEdits) {
    const struct {
        const char *caption, *title;
    } captions[] = {{"Twin <2>", "Twin"},
                    {"Twin <13>", "Twin"},
                    {"Twin <1>", "Twin <1>"},
                    {"a <02>", "a <02>"},
                    {"a <b>", "a <b>"},
                    {"<2>", "<2>"},
                    {"x <12345>", "x <12345>"},
                    {"Notes", "Notes"},
                    {"Twin <2> (Not Responding)", "Twin"},
                    {"Mail (Not Responding)", "Mail"}};
    for (const auto& c : captions)
        EXPECT_EQ(kwin::withoutTwinSuffix(c.caption), c.title) << c.caption;

    const std::string rules =
        "! layout\n  us              English (US)\n  de              German\n"
        "! variant\n  nodeadkeys      de: German (no dead keys)\n";
    const struct {
        const char *description, *layout, *variant;
    } layouts[] = {{"German", "de", ""},
                   {"German (no dead keys)", "de", "nodeadkeys"},
                   {"English (US)", "us", ""},
                   {"Klingon", nullptr, nullptr}};
    for (const auto& c : layouts) {
        const auto found = kwin::layoutDescribed(c.description, rules);
        EXPECT_EQ(found.has_value(), c.layout != nullptr) << c.description;
        if (found && c.layout) {
            EXPECT_EQ(found->name + "/" + found->variant, std::string(c.layout) + "/" + c.variant);
        }
    }

    const std::vector<std::pair<std::string, std::string>> values = {{"LayoutList", "de,tarn"},
                                                                     {"Use", "true"}};
    const struct {
        const char *before, *after;
    } files[] = {
        {"", "[Layout]\nLayoutList=de,tarn\nUse=true\n"},
        {"[Layout]\nLayoutList=de\nModel=pc105\n",
         "[Layout]\nLayoutList=de,tarn\nModel=pc105\nUse=true\n"},
        {"[Layout]\nUse=false\n\n[Other]\nLayoutList=x\n",
         "[Layout]\nUse=true\n\nLayoutList=de,tarn\n[Other]\nLayoutList=x\n"},
        {"[Other]\nx=1\n", "[Other]\nx=1\n\n[Layout]\nLayoutList=de,tarn\nUse=true\n"},
    };
    for (const auto& c : files)
        EXPECT_EQ(kwin::withLayoutKeys(c.before, values), c.after) << c.before;
}

}  // namespace
}  // namespace tarn
