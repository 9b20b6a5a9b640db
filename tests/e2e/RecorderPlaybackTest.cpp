// Recording and playback agree: real keys typed with XTest into the editor's
// recorder under Xvfb with openbox give a Send statement that the real tarn
// program types into an xterm as exactly the keys that were pressed, on a US
// layout and on a German one (where each key is recorded as the key in its
// place on a US keyboard).

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

#include "TarnProgram.h"

namespace tarn::e2e {
namespace {

using testing::WindowManager;
using testing::XSession;

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Reads the descriptor until `marker` has arrived or `limit` has passed.
std::string readUntil(int fd, const std::string& marker, std::chrono::milliseconds limit) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (got.find(marker) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, int(left.count())) <= 0) break;
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, std::size_t(n));
    }
    return got;
}

struct Recording {
    const char* layout;
    const char* typed;     // in the key notation, typed with XTest
    const char* recorded;  // the Send statement written
    const char* arrived;   // what playing it back types into the xterm
};

class RecorderPlayback : public ::testing::TestWithParam<Recording> {
  protected:
    XSession session{WindowManager::Openbox};

    // An xterm that writes every byte it receives to a file, raw, no echo.
    std::string startXterm(const std::string& title) {
        const std::string out = ::testing::TempDir() + "/recorded-" + std::to_string(::getpid());
        const std::string ready = out + ".ready";
        std::remove(out.c_str());
        std::remove(ready.c_str());
        session.spawn({"xterm", "-u8", "-T", title, "-e", "sh", "-c",
                       "stty raw -echo; : > '" + ready + "'; exec cat > '" + out + "'"},
                      {"LC_ALL=C.UTF-8"});
        EXPECT_TRUE(testing::waitUntil([&] { return ::access(ready.c_str(), F_OK) == 0; }, 15s));
        return out;
    }
};

TEST_P(RecorderPlayback, PlaysBackTheKeysPressed) {
    const Recording& c = GetParam();
    ASSERT_EQ(session.run({"setxkbmap", "-display", session.display(), c.layout}).exitStatus, 0);
    Desktop desktop(session);

    testing::PipedChild host = session.spawnPiped(
        {TARN_RECORDER_HOST}, {"QT_QPA_PLATFORM=xcb", "DBUS_SESSION_BUS_ADDRESS=disabled:"});
    ASSERT_NE(readUntil(host.output, "ready\n", 20s).find("ready"), std::string::npos);
    desktop.type(c.typed);
    // Stop once the recording is complete (or after the bound, to see what
    // it holds then): keys still on their way would be lost.
    const std::string recordedLine = std::string("text:Send \"") + c.recorded + "\n";
    readUntil(host.output, recordedLine, 20s);
    ASSERT_EQ(::write(host.input, "stop\n", 5), 5);
    std::string text = readUntil(host.output, "\nEND\n", 20s);
    // The last text, as it is after recording stopped.
    if (text.rfind("text:") != std::string::npos)
        text.erase(0, text.find('\n', text.rfind("text:")) + 1);
    ::close(host.input);
    ::close(host.output);
    session.kill(host.pid);
    ASSERT_NE(text.find("\nEND\n"), std::string::npos) << text;
    text.erase(text.find("\nEND\n"));
    EXPECT_EQ(text, std::string("Send \"") + c.recorded + "\"\n");

    // Play the statement back into an xterm.
    const std::string out = startXterm("Recorder Playback");
    TarnProgram tarn(session);
    const std::string statement = text.substr(0, text.size() - 1);
    const std::string macro = tarn.writeMacro(
        "recorded.mcr", "TimeOut 20\r\nSetFocus Recorder Playback,2\r\n" + statement + "\r\n");
    tarn.start({macro});
    EXPECT_EQ(tarn.waitForExit(60s), 0) << tarn.trace();
    std::string arrived;
    testing::waitUntil(
        [&] {
            arrived = readFile(out);
            return arrived.size() >= std::string(c.arrived).size();
        },
        15s);
    EXPECT_EQ(arrived, c.arrived);
}

INSTANTIATE_TEST_SUITE_P(Layouts, RecorderPlayback,
                         ::testing::Values(
                             // Letters, capitals, digits and the shifted characters above them
                             // (Shift+9 and Shift+0 pressed as such: the typing backend would
                             // take the keypad's parenthesis keys, which keyboards lack),
                             // punctuation, Tab and Enter; Shift alone.
                             Recording{"us", "Hi, 5{%} +9a{+}b+0=c!{TAB}+()~x",
                                       "+Hi, 5+{%} +{(}a+{+}b+{)}=c+!{TAB}+(){ENTER}x",
                                       "Hi, 5% (a+b)=c!\t\rx"},
                             // Shift held over two characters by the typing backend is one chord.
                             Recording{"us", "+(ab)\"{{}", "+(AB)+(\"{{})", "AB\"{"},
                             // German keys recorded by their place on a US keyboard: Z is y, Ö is
                             // ;, Ä is ', ß is -, AltGr+Q (@) is q.
                             Recording{"de", "zyöäß@", "yz;'-q", "yz;'-q"}),
                         [](const ::testing::TestParamInfo<Recording>& info) {
                             return std::string(info.param.layout) + std::to_string(info.index);
                         });

}  // namespace
}  // namespace tarn::e2e
