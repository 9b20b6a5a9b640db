// SPDX-License-Identifier: GPL-3.0-or-later
#include "TarnProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "KeyNotation.h"

namespace tarn::e2e {

namespace fs = std::filesystem;

TarnProgram::TarnProgram(const std::string& display, const std::vector<std::string>& extraEnv) {
    const std::string root = folder_.path();
    platformtest::makeFolder(root + "/program");
    binary_ = root + "/program/tarn";
    fs::copy_file(TARN_BINARY, binary_);
    // The program must be a copy (it finds its folder by its own file); its
    // module is found beside it through a link just as well.
    fs::create_symlink(TARN_WINDOWS_MODULE, root + "/program/tarn-windows.so");
    // Bare names are unset; later entries win.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "TARN_BACKEND",
                             "DBUS_SYSTEM_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS"})
        env_.emplace_back(name);
    env_.emplace_back("QT_QPA_PLATFORM=xcb");
    for (std::string entry : {"HOME=home", "XDG_CONFIG_HOME=config", "XDG_DATA_HOME=data",
                              "XDG_CACHE_HOME=cache", "XDG_RUNTIME_DIR=runtime"}) {
        const std::size_t value = entry.find('=') + 1;
        platformtest::makeFolder(root + "/" + entry.substr(value));
        env_.push_back(entry.insert(value, root + "/"));
    }
    ::chmod((root + "/runtime").c_str(), 0700);
    if (!display.empty()) env_.push_back("DISPLAY=" + display);
    env_.insert(env_.end(), extraEnv.begin(), extraEnv.end());
    env_ = platformtest::environmentWith(env_);
}

namespace {

// The session's bus and, on sway, its sockets, with Qt's Wayland platform that
// Tarn picks itself; ahead of the caller's entries, which win.
std::vector<std::string> sessionEnv(const testing::XSession& session,
                                    const std::vector<std::string>& extraEnv, bool withBus) {
    std::vector<std::string> env;
    if (withBus) env.push_back("DBUS_SESSION_BUS_ADDRESS=" + session.busAddress());
    if (session.wayland())
        env.insert(env.end(), {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY=" + session.waylandDisplay(),
                               "SWAYSOCK=" + session.swaySocket()});
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    return env;
}

}  // namespace

TarnProgram::TarnProgram(testing::XSession& session, const std::vector<std::string>& extraEnv,
                         bool withBus)
    : TarnProgram(session.display(), sessionEnv(session, extraEnv, withBus)) {}

TarnProgram::~TarnProgram() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

std::string TarnProgram::writeMacro(const std::string& name, const std::string& text) const {
    const std::string path = folder_.path() + "/" + name;
    platformtest::writeFile(path, text);
    return path;
}

void TarnProgram::start(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{binary_};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    launch(argv);
}

void TarnProgram::launch(std::vector<std::string> argv) {
    if (pid_ > 0 && !status_) throw std::runtime_error("tarn is still running");
    status_.reset();
    using platformtest::highDescriptor;
    // A pipe's buffer holds the small texts the tests give; the write end is
    // closed before tarn starts, so tarn reads the text and then its end.
    int in[2] = {-1, -1};
    if (input_) {
        platformtest::makePipe(in);
        const auto written = ::write(in[1], input_->data(), input_->size());
        ::close(in[1]);
        if (written != static_cast<ssize_t>(input_->size()))
            throw std::runtime_error("cannot fill tarn's input");
    } else {
        in[0] = highDescriptor(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    }
    const auto create = [](const std::string& path) {
        return highDescriptor(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    };
    const int out = create(output_ ? *output_ : folder_ / "stdout.txt");
    const int err = create(folder_ / "stderr.txt");
    // env changes into the test's folder and becomes the program, PID and all.
    argv.insert(argv.begin(), {"/usr/bin/env", "-C", folder_.path()});
    pid_ = platformtest::launch(argv, env_, {{in[0], 0}, {out, 1}, {err, 2}});
    for (int fd : {in[0], out, err})
        ::close(fd);
}

std::optional<int> TarnProgram::waitForExit(std::chrono::milliseconds limit) {
    if (status_) return status_;
    platformtest::waitUntil(
        [&] {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        },
        limit, 20ms);
    return status_;
}

bool TarnProgram::running() {
    return !waitForExit(0ms);
}

std::string TarnProgram::trace() const {
    return platformtest::exists(tracePath()) ? platformtest::readFile(tracePath()) : "<no trace>";
}

Desktop::Desktop(testing::XSession& session) : session_(session) {
    auto backends = testing::connectBackends(session, host_);
    windows_ = std::move(backends.windows);
    keyboard_ = std::move(backends.keyboard);
    if (!windows_ || !keyboard_) throw std::runtime_error("cannot connect to the test display");
}

WindowId Desktop::waitForWindow(const std::string& title, std::chrono::milliseconds limit) {
    const WindowId found = testing::waitForTitle(*windows_, title, 0, limit);
    if (!found) throw std::runtime_error("no window \"" + title + "\" appeared");
    return found;
}

bool Desktop::windowExists(const std::string& title) {
    for (const TopLevelWindow& w : windows_->topLevelWindows()) {
        if (w.title == title) return true;
    }
    return false;
}

void Desktop::type(const std::string& notation) {
    keyboard_->type(parseKeys(notation));
}

void Desktop::clickPlayer(WindowId player, int twips) {
    const std::string id = std::to_string(player);
    const auto geometry = session_.run({"xdotool", "getwindowgeometry", "--shell", id});
    const auto at = geometry.output.find("WIDTH=");
    if (geometry.exitStatus != 0 || at == std::string::npos)
        throw std::runtime_error("xdotool could not measure the player");
    const int x = std::stoi(geometry.output.substr(at + 6)) * twips / 7275;
    const auto click = session_.run(
        {"xdotool", "mousemove", "--sync", "--window", id, std::to_string(x), "14", "click", "1"});
    if (click.exitStatus != 0) throw std::runtime_error("xdotool could not click");
}

void Desktop::answerRetry(bool yes, std::chrono::milliseconds limit) {
    const WindowId box = waitForWindow("Tarn Macro Message", limit);
    activate(box);
    // The box's buttons are "&Yes" and "&No".
    type(yes ? "%y" : "%n");
    platformtest::waitUntil([&] { return !windows_->isWindow(box); }, 10s, 20ms);
}

}  // namespace tarn::e2e
