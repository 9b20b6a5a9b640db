// The real tarn program: --help and --version without a display, the one-line
// complaint when there is no display, and automatic and interactive mode on
// a private Xvfb. Every process started here is ended by its PID.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "XSession.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using tarn::testing::waitUntil;
using tarn::testing::WindowManager;
using tarn::testing::XSession;

// A started tarn with its output collected through pipes.
class Tarn {
  public:
    Tarn(const std::vector<std::string>& args, const std::vector<std::string>& env) {
        std::vector<std::string> argv{TARN_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv;
        for (auto& a : argv)
            cargv.push_back(a.data());
        cargv.push_back(nullptr);
        std::vector<std::string> envCopy = env;
        std::vector<char*> cenv;
        for (auto& e : envCopy)
            cenv.push_back(e.data());
        cenv.push_back(nullptr);

        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attr, 0);
        if (posix_spawn(&pid_, cargv[0], &actions, &attr, cargv.data(), cenv.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }

    ~Tarn() {
        if (pid_ > 0 && !status_) {
            ::kill(-pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        if (out_ >= 0) close(out_);
        if (err_ >= 0) close(err_);
    }

    pid_t pid() const { return pid_; }

    // The exit status once the program has ended within the time, reading its
    // output meanwhile; nothing when it is still running.
    std::optional<int> wait(std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!status_) {
            drain(10);
            int status = 0;
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                drain(0);
                break;
            }
            if (std::chrono::steady_clock::now() >= end) break;
        }
        return status_;
    }

    const std::string& out() const { return outText_; }
    const std::string& err() const { return errText_; }

  private:
    void drain(int timeoutMs) {
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (poll(fds, 2, timeoutMs) <= 0) return;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) (i == 0 ? outText_ : errText_).append(buffer, static_cast<size_t>(n));
        }
    }

    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    std::optional<int> status_;
    std::string outText_, errText_;
};

class TarnBinaryTest : public ::testing::Test {
  protected:
    // An environment of our own: no display unless given, and the settings and
    // data folders in the test's temporary folder.
    std::vector<std::string> env(const std::string& display = {}) const {
        std::vector<std::string> result{"PATH=/usr/local/bin:/usr/bin:/bin",
                                        "HOME=" + home_.path().toStdString(),
                                        "XDG_CONFIG_HOME=" + home_.path().toStdString() + "/config",
                                        "XDG_DATA_HOME=" + home_.path().toStdString() + "/data",
                                        "XDG_RUNTIME_DIR=" + home_.path().toStdString()};
        if (!display.empty()) result.push_back("DISPLAY=" + display);
        if (const char* asan = getenv("ASAN_OPTIONS"))
            result.push_back(std::string("ASAN_OPTIONS=") + asan);
        return result;
    }

    std::string macro(const std::string& bytes) const {
        const QString path = home_.filePath("test.mcr");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return path.toStdString();
    }

    // Runs a short tool in the session and returns its output.
    static std::string tool(XSession& session, const std::vector<std::string>& argv) {
        return session.run(argv, 10s).output;
    }

    QTemporaryDir home_;
};

TEST_F(TarnBinaryTest, VersionAndHelpNeedNoDisplay) {
    Tarn version({"--version"}, env());
    ASSERT_EQ(version.wait(20s), std::optional<int>(0));
    EXPECT_EQ(version.out(), "Tarn 2.0.3\n");

    Tarn help({"--help"}, env());
    ASSERT_EQ(help.wait(20s), std::optional<int>(0));
    EXPECT_EQ(help.out().rfind("Usage: tarn [MACRO-FILE]\n", 0), 0u) << help.out();
}

struct NoDisplayCase {
    const char* name;
    const char* display;
};

class NoDisplayTest : public TarnBinaryTest, public ::testing::WithParamInterface<NoDisplayCase> {};

TEST_P(NoDisplayTest, OneClearLineAndNonZeroStatus) {
    Tarn tarn({}, env(GetParam().display));
    const std::optional<int> status = tarn.wait(20s);
    ASSERT_TRUE(status.has_value());
    EXPECT_NE(*status, 0);
    EXPECT_TRUE(tarn.out().empty());
    ASSERT_FALSE(tarn.err().empty());
    // One line, ending the output, that names the X display.
    EXPECT_EQ(tarn.err().find('\n'), tarn.err().size() - 1) << tarn.err();
    EXPECT_NE(tarn.err().find("X display"), std::string::npos) << tarn.err();
}

INSTANTIATE_TEST_SUITE_P(Displays, NoDisplayTest,
                         ::testing::Values(NoDisplayCase{"Unset", ""},
                                           NoDisplayCase{"NoServer", ":65000"}),
                         [](const ::testing::TestParamInfo<NoDisplayCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(TarnBinaryTest, AutomaticRunEndsWithZero) {
    XSession session(WindowManager::None);
    Tarn tarn({macro("Rem hello\r\nWait 1\r\n")}, env(session.display()));
    EXPECT_EQ(tarn.wait(60s), std::optional<int>(0)) << tarn.err();
    // No trace beside a program run in automatic mode... and the last file
    // was stored in the user's settings.
    QFile ini(home_.filePath("config/Tarn/tarn.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly)) << ini.fileName().toStdString();
    EXPECT_TRUE(ini.readAll().contains("test.mcr"));
}

TEST_F(TarnBinaryTest, AutomaticFailureAnsweredNoEndsWithOne) {
    XSession session(WindowManager::Openbox);
    Tarn tarn({macro("Wait abc\r\n")}, env(session.display()));
    std::string box;
    ASSERT_TRUE(waitUntil(
        [&] {
            box = tool(session, {"xdotool", "search", "--name", "^Tarn Macro Message$"});
            return !box.empty() || tarn.wait(0ms).has_value();
        },
        30s));
    ASSERT_FALSE(box.empty()) << "no question box; tarn said: " << tarn.err();
    box = box.substr(0, box.find('\n'));
    // Escape answers a Yes/No box with No.
    tool(session, {"xdotool", "windowactivate", "--sync", box});
    tool(session, {"xdotool", "key", "Escape"});
    EXPECT_EQ(tarn.wait(30s), std::optional<int>(1)) << tarn.err();
}

TEST_F(TarnBinaryTest, InteractiveWindowShowsItsCaption) {
    XSession session(WindowManager::Openbox);
    Tarn tarn({}, env(session.display()));
    std::string window;
    EXPECT_TRUE(waitUntil(
        [&] {
            window = tool(session, {"xdotool", "search", "--name", "^Tarn - Interactive Screen$"});
            return !window.empty() || tarn.wait(0ms).has_value();
        },
        30s))
        << tarn.err();
    EXPECT_FALSE(window.empty());
    EXPECT_FALSE(tarn.wait(0ms).has_value());
    ::kill(tarn.pid(), SIGTERM);
    EXPECT_TRUE(tarn.wait(20s).has_value());
}

}  // namespace
