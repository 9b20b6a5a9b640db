// Runs nobody watches, through the real tarn program: batch mode and its
// trace, the emergency stop key (a real Pause key event) during a Wait and
// during a long Send into xterm, and the keyboard map after SIGTERM. Each
// ends with no key down and the keyboard map as it was before the run.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <filesystem>

#include "TargetProgram.h"
#include "TarnProgram.h"

namespace tarn::e2e {
namespace {

using testing::WindowManager;
using testing::XSession;

const std::vector<std::string> kNoSessionBus{"DBUS_SESSION_BUS_ADDRESS=disabled:"};

struct BatchCase {
    const char* name;
    const char* macro;       // empty: the file does not exist
    const char* stderrTail;  // after "FILE"; empty for none
    int status;
    const char* trace;
};

const BatchCase kBatchCases[] = {
    {"RunsToItsEnd", "Rem one\r\n\r\nWait 0\r\n", "", 0, "Rem one\r\n\r\nWait 0\r\n"},
    {"InvalidCommand", "Rem one\r\nNoSuch command\r\nRem never\r\n",
     ":2: error: Invalid macro command (.Process.Process.RunMacro) [1001]\n", 1,
     "Rem one\r\nNoSuch command\r\nError 1001 - Invalid macro command\r\n"},
    {"TypeMismatch", "Rem a\r\n\r\nWait abc\r\n",
     ":3: error: Type mismatch (Tarn.Process.RunMacro) [13]\n", 1,
     "Rem a\r\n\r\nWait abc\r\nError 13 - Type mismatch\r\n"},
    {"NoSuchFile", "", ": error: File not found (Tarn.OpenFile.RunMacro) [53]\n", 1,
     "Error 53 - File not found\r\n"},
};

class Batch : public ::testing::TestWithParam<BatchCase> {};

// Never a "Retry ?" box: it would wait for an answer and the program would
// not end. With --trace the run's trace is written where asked, never to the
// program's own trace file.
TEST_P(Batch, StandardErrorExitStatusAndTrace) {
    XSession session;
    const BatchCase& c = GetParam();
    for (const bool traced : {false, true}) {
        TarnProgram tarn(session, kNoSessionBus);
        const std::string macro =
            *c.macro ? tarn.writeMacro("job.mcr", c.macro) : tarn.folder() + "/missing.mcr";
        const std::string trace = tarn.folder() + "/job-trace.txt";
        std::vector<std::string> args{"--batch", macro};
        if (traced) args.insert(args.begin() + 1, {"--trace", trace});
        tarn.start(args);
        ASSERT_EQ(tarn.waitForExit(30s), c.status) << traced << tarn.err();
        EXPECT_EQ(tarn.err(), *c.stderrTail ? macro + c.stderrTail : "") << traced;
        EXPECT_EQ(platformtest::exists(trace) ? platformtest::readFile(trace) : "<none>",
                  traced ? c.trace : "<none>");
        EXPECT_FALSE(platformtest::exists(tarn.tracePath()));
    }
}

INSTANTIATE_TEST_SUITE_P(Macros, Batch, ::testing::ValuesIn(kBatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The keyboard as the server has it: its map (as xkbcomp dumps it) and the keys down.
class Keyboard {
  public:
    explicit Keyboard(XSession& session)
        : session_(session), c_(xcb_connect(session.display().c_str(), nullptr)) {}
    ~Keyboard() { xcb_disconnect(c_); }
    std::string dump() { return session_.run({"xkbcomp", "-xkb", session_.display(), "-"}).output; }
    std::vector<int> keysDown() {
        std::vector<int> down;
        auto* r = xcb_query_keymap_reply(c_, xcb_query_keymap(c_), nullptr);
        for (int k = 0; r && k < 256; ++k) {
            if ((r->keys[k / 8] >> (k % 8)) & 1) down.push_back(k);
        }
        std::free(r);
        return down;
    }

  private:
    XSession& session_;
    xcb_connection_t* c_;
};

class Unattended : public ::testing::Test {
  protected:
    XSession session{WindowManager::Openbox};
    Desktop desktop{session};
    Keyboard keyboard{session};
    std::string before = keyboard.dump();

    // An xterm whose program writes what it receives to a file; returns the file.
    std::string startXterm(const std::string& title) {
        const std::string out = ::testing::TempDir() + "/" + title + ".out";
        std::remove(out.c_str());
        session.spawn({"xterm", "-u8", "-T", title, "-e", "sh", "-c",
                       "stty raw -echo; exec cat > '" + out + "'"},
                      {"LC_ALL=C.UTF-8"});
        desktop.waitForWindow(title);
        EXPECT_TRUE(testing::waitUntil([&] { return platformtest::exists(out); }, 15s));
        return out;
    }

    static std::size_t size(const std::string& path) {
        std::error_code error;
        const auto bytes = std::filesystem::file_size(path, error);
        return error ? 0 : static_cast<std::size_t>(bytes);
    }

    // Presses and releases Pause as a user would: the event comes from the
    // server, to whoever holds the key.
    void pressPause() { desktop.type("{BREAK}"); }

    void expectKeyboardAsBefore() {
        EXPECT_TRUE(keyboard.keysDown().empty());
        EXPECT_TRUE(keyboard.dump() == before) << "the keyboard map changed";
    }
};

TEST_F(Unattended, PauseStopsALongWait) {
    TarnProgram tarn(session, kNoSessionBus);
    const std::string macro =
        tarn.writeMacro("wait.mcr", "Rem waiting\r\nWait 600\r\nRem never\r\n");
    const std::string trace = tarn.folder() + "/trace.txt";
    tarn.start({"--batch", "--trace", trace, macro});
    ASSERT_TRUE(testing::waitUntil(
        [&] {
            return platformtest::exists(trace) &&
                   platformtest::readFile(trace).find("Wait") != std::string::npos;
        },
        30s));
    pressPause();
    ASSERT_EQ(tarn.waitForExit(20s), 130);
    EXPECT_EQ(tarn.err(), macro + ":2: Stopped by the Pause key\n");
    EXPECT_EQ(platformtest::readFile(trace), "Rem waiting\r\nWait 600\r\n");
    expectKeyboardAsBefore();
}

// A Pause the macro types itself is the target's, and stops nothing.
TEST_F(Unattended, APauseTheMacroTypesReachesTheTarget) {
    testing::TargetProgram target(session);
    target.window("main", "E2E Pause");
    TarnProgram tarn(session, kNoSessionBus);
    const std::string macro = tarn.writeMacro(
        "pause.mcr", "TimeOut 20\r\nSetFocus E2E Pause,2\r\nSend a{BREAK}b\r\nSend c\r\n");
    tarn.start({"--batch", macro});
    ASSERT_EQ(tarn.waitForExit(30s), 0) << tarn.err();
    EXPECT_EQ(tarn.err(), "");
    EXPECT_TRUE(testing::waitUntil([&] { return target.text("main") == "abc"; }, 10s));
    constexpr int kQtKeyPause = 0x01000008;
    int pauses = 0;
    for (const testing::KeyRecord& key : target.keys("main"))
        pauses += key.press && key.key == kQtKeyPause;
    EXPECT_EQ(pauses, 1);
    expectKeyboardAsBefore();
}

// 50,000 characters, some off the layout, would take long to type; Pause cuts
// the Send short and the run ends with it.
TEST_F(Unattended, PauseStopsALongSendIntoXterm) {
    const std::string out = startXterm("tarn-stop-send");
    TarnProgram tarn(session, kNoSessionBus);
    const std::string macro =
        tarn.writeMacro("send.mcr",
                        "SetFocus tarn-stop-send,2\r\n"
                        "Send é€{a 10000}{b 10000}{ж 10000}{d 10000}{e 10000}\r\n"
                        "Rem never\r\n");
    tarn.start({"--batch", macro});
    ASSERT_TRUE(testing::waitUntil([&] { return size(out) > 100; }, 30s)) << tarn.err();
    pressPause();
    ASSERT_EQ(tarn.waitForExit(20s), 130);
    EXPECT_EQ(tarn.err(), macro + ":2: Stopped by the Pause key\n");
    std::size_t arrived = 0;
    testing::waitUntil(
        [&] {
            const std::size_t now = size(out);
            const bool steady = now == arrived;
            arrived = now;
            return steady;
        },
        10s, 200ms);
    EXPECT_LT(arrived, 50000u);
    expectKeyboardAsBefore();
}

// A binding goes once the keyboard has been idle a moment, while the run waits.
TEST_F(Unattended, AnIdleKeyboardGetsItsMapBackDuringTheRun) {
    const std::string out = startXterm("tarn-idle");
    TarnProgram tarn(session, kNoSessionBus);
    const std::string macro =
        tarn.writeMacro("idle.mcr", "SetFocus tarn-idle,2\r\nSend é\r\nWait 600\r\n");
    tarn.start({macro});
    ASSERT_TRUE(testing::waitUntil([&] { return size(out) >= 2; }, 30s)) << tarn.err();
    EXPECT_TRUE(testing::waitUntil([&] { return keyboard.dump() == before; }, 20s));
    EXPECT_TRUE(tarn.running());
}

// A run that keeps typing a character off the layout holds it bound; SIGTERM
// in the middle puts the map back before the program ends.
TEST_F(Unattended, SigtermInTheMiddleOfARunRestoresTheKeyboardMap) {
    const std::string out = startXterm("tarn-sigterm");
    TarnProgram tarn(session, kNoSessionBus);
    std::string text = "SetFocus tarn-sigterm,2\r\n";
    for (int i = 0; i < 20000; ++i)
        text += "Send é\r\n";
    const std::string macro = tarn.writeMacro("sigterm.mcr", text);
    tarn.start({macro});
    ASSERT_TRUE(testing::waitUntil([&] { return size(out) > 20; }, 30s)) << tarn.err();
    EXPECT_FALSE(keyboard.dump() == before) << "é is bound while the run goes on";
    ::kill(tarn.pid(), SIGTERM);
    ASSERT_EQ(tarn.waitForExit(20s), 128 + SIGTERM);
    expectKeyboardAsBefore();
}

}  // namespace
}  // namespace tarn::e2e
