// SPDX-License-Identifier: GPL-3.0-or-later
#include "XSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tarn::testing {

namespace {

using Clock = std::chrono::steady_clock;

std::runtime_error systemError(const std::string& what, int error) {
    return std::runtime_error(what + ": " + std::strerror(error));
}

// Moves a descriptor above the standard ones, close-on-exec, so that a child
// only ever gets it through an explicit dup2.
int highDescriptor(int fd) {
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    if (moved < 0) throw systemError("fcntl", errno);
    return moved;
}

void makePipe(int fds[2]) {
    if (pipe2(fds, O_CLOEXEC) != 0) throw systemError("pipe2", errno);
    fds[0] = highDescriptor(fds[0]);
    fds[1] = highDescriptor(fds[1]);
}

// Reads until `stop` says the text is complete, EOF or the deadline.
std::string readUntil(int fd, Clock::time_point deadline,
                      const std::function<bool(const std::string&)>& stop) {
    std::string text;
    char buffer[4096];
    while (!stop(text)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd pfd{fd, POLLIN, 0};
        int ready = poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// Waits for the child to end, at most `timeout`; true when it was reaped.
bool reapWithin(pid_t pid, std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The program file that execve() is to run: argv[0] itself when it names a
// path, else the first executable of that name on PATH.
std::string resolveProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    for (;;) {
        std::size_t end = dirs.find(':', start);
        std::string dir = dirs.substr(start, end == std::string::npos ? end : end - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return {};
}

// Starts a program as the leader of a new process group, with the given
// descriptors duplicated onto the child's (source, target) and every signal
// back to its default. The child gets SIGTERM when the test process dies, so
// that not even a crashed test leaves a server or a window behind.
pid_t launch(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::vector<std::pair<int, int>>& dups) {
    if (argv.empty()) throw std::invalid_argument("spawn: empty argv");
    std::string program = resolveProgram(argv[0]);
    if (program.empty()) throw systemError("cannot start " + argv[0], ENOENT);
    std::vector<char*> args, envp;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    // The child reports a failed exec through this pipe; a successful one
    // closes it.
    int report[2];
    makePipe(report);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        int error = errno;
        close(report[0]);
        close(report[1]);
        throw systemError("fork", error);
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here to execve.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        for (const auto& [from, to] : dups)
            if (dup2(from, to) < 0) _exit(127);
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        for (int sig = 1; sig < NSIG; ++sig)
            sigaction(sig, &defaults, nullptr);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(program.c_str(), args.data(), envp.data());
        int error = errno;
        ssize_t ignored = write(report[1], &error, sizeof error);
        (void)ignored;
        _exit(127);
    }
    close(report[1]);
    int error = 0;
    ssize_t n;
    do {
        n = read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    close(report[0]);
    if (n == static_cast<ssize_t>(sizeof error)) {
        waitpid(pid, nullptr, 0);
        throw systemError("cannot start " + argv[0], error);
    }
    return pid;
}

// The processes whose parent is `parent`, from /proc.
std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const pid_t pid = std::atoi(entry.path().filename().c_str());
        if (pid <= 0) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const auto close = line.rfind(')');
        if (close == std::string::npos || close + 2 >= line.size()) continue;
        std::istringstream fields(line.substr(close + 2));
        char state = 0;
        pid_t ppid = 0;
        if (fields >> state >> ppid && ppid == parent) found.push_back(pid);
    }
    return found;
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    auto* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

// Openbox announces itself before its event loop runs, and a window mapped in
// between is never managed. Only the running loop answers a request for frame
// extents: once it has, openbox takes every new window.
bool openboxAnswers(const std::string& display, const std::function<void()>& checkAlive) {
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_window_t probe = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t request = internAtom(c, "_NET_REQUEST_FRAME_EXTENTS");
    const xcb_atom_t extents = internAtom(c, "_NET_FRAME_EXTENTS");
    int asked = 0;
    const bool answered = waitUntil(
        [&] {
            checkAlive();
            // A request that came while openbox was still starting is lost:
            // ask again now and then.
            if (asked++ % 10 == 0) {
                xcb_client_message_event_t message{};
                message.response_type = XCB_CLIENT_MESSAGE;
                message.format = 32;
                message.window = probe;
                message.type = request;
                xcb_send_event(
                    c, 0, root,
                    XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                    reinterpret_cast<const char*>(&message));
            }
            auto* reply = xcb_get_property_reply(
                c, xcb_get_property(c, 0, probe, extents, XCB_ATOM_CARDINAL, 0, 4), nullptr);
            const bool set = reply && xcb_get_property_value_length(reply) > 0;
            std::free(reply);
            return set;
        },
        std::chrono::seconds(15), std::chrono::milliseconds(20));
    xcb_destroy_window(c, probe);
    xcb_disconnect(c);
    return answered;
}

}  // namespace

const char* name(WindowManager manager) {
    switch (manager) {
        case WindowManager::Openbox:
            return "Openbox";
        case WindowManager::Sway:
            return "Sway";
        default:
            return "None";
    }
}

XSession::XSession(WindowManager manager, const std::vector<std::string>& serverArguments)
    : manager_(manager) {
    // A target program that dies must not take the test down with SIGPIPE when
    // the test writes its next command.
    signal(SIGPIPE, SIG_IGN);

    char pattern[] = "/tmp/tarn-xsession-XXXXXX";
    if (!mkdtemp(pattern)) throw systemError("mkdtemp", errno);
    runtimeDir_ = pattern;
    for (const char* sub : {"config", "cache", "data"})
        std::filesystem::create_directory(runtimeDir_ + "/" + sub);
    try {
        if (manager_ == WindowManager::Sway) {
            startSway();
        } else {
            startServer(serverArguments);
        }
        startBus();
        if (manager_ == WindowManager::Openbox) startOpenbox();
    } catch (...) {
        endAll();
        throw;
    }
}

XSession::~XSession() {
    endAll();
}

void XSession::endAll() {
    while (!children_.empty())
        kill(children_.back());
    std::error_code ignored;
    if (!runtimeDir_.empty()) std::filesystem::remove_all(runtimeDir_, ignored);
}

pid_t XSession::start(const std::vector<std::string>& argv,
                      const std::vector<std::string>& extraEnv, int stdinFd, int stdoutFd,
                      int stderrFd) {
    if (argv.empty()) throw std::invalid_argument("spawn: empty argv");

    // The children see only this session: its display, and HOME and the XDG
    // folders in the session's own folder so that no user configuration leaks in.
    std::vector<std::string> env;
    auto overridden = [&](const std::string& entry) {
        auto nameOf = [](const std::string& e) { return e.substr(0, e.find('=')); };
        std::string n = nameOf(entry);
        for (const char* ours :
             {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "SWAYSOCK", "QT_QPA_PLATFORM", "HOME",
              "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME",
              "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS"})
            if (n == ours) return true;
        return std::any_of(extraEnv.begin(), extraEnv.end(),
                           [&](const std::string& e) { return nameOf(e) == n; });
    };
    for (char** e = environ; *e; ++e)
        if (!overridden(*e)) env.emplace_back(*e);
    // Ours, unless the caller gives its own.
    auto add = [&](const std::string& name, const std::string& value) {
        if (std::none_of(extraEnv.begin(), extraEnv.end(),
                         [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; }))
            env.push_back(name + "=" + value);
    };
    if (!display_.empty()) add("DISPLAY", display_);
    if (!waylandDisplay_.empty()) {
        add("WAYLAND_DISPLAY", waylandDisplay_);
        add("SWAYSOCK", swaySocket_);
        add("QT_QPA_PLATFORM", "wayland");
    }
    add("HOME", runtimeDir_);
    add("XDG_RUNTIME_DIR", runtimeDir_);
    add("XDG_CONFIG_HOME", runtimeDir_ + "/config");
    add("XDG_CACHE_HOME", runtimeDir_ + "/cache");
    add("XDG_DATA_HOME", runtimeDir_ + "/data");
    if (!busAddress_.empty()) add("DBUS_SESSION_BUS_ADDRESS", busAddress_);
    for (const auto& e : extraEnv)
        env.push_back(e);

    std::vector<std::pair<int, int>> dups;
    if (stdinFd >= 0) dups.emplace_back(stdinFd, 0);
    if (stdoutFd >= 0) dups.emplace_back(stdoutFd, 1);
    if (stderrFd >= 0) dups.emplace_back(stderrFd, 2);
    pid_t pid = launch(argv, env, dups);
    children_.push_back(pid);
    return pid;
}

pid_t XSession::spawn(const std::vector<std::string>& argv,
                      const std::vector<std::string>& extraEnv) {
    return start(argv, extraEnv, -1, -1, -1);
}

PipedChild XSession::spawnPiped(const std::vector<std::string>& argv,
                                const std::vector<std::string>& extraEnv) {
    int in[2], out[2];
    makePipe(in);
    try {
        makePipe(out);
    } catch (...) {
        close(in[0]);
        close(in[1]);
        throw;
    }
    PipedChild child;
    try {
        child.pid = start(argv, extraEnv, in[0], out[1], -1);
    } catch (...) {
        for (int fd : {in[0], in[1], out[0], out[1]})
            close(fd);
        throw;
    }
    close(in[0]);
    close(out[1]);
    child.input = in[1];
    child.output = out[0];
    return child;
}

RunResult XSession::run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    PipedChild child = spawnPiped(argv);
    close(child.input);
    RunResult result;
    result.output = readUntil(child.output, deadline, [](const std::string&) { return false; });
    close(child.output);
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    int status = 0;
    bool ended = false;
    auto waitEnd = Clock::now() + std::max(left, std::chrono::milliseconds(0));
    for (;;) {
        pid_t r = waitpid(child.pid, &status, WNOHANG);
        if (r == child.pid) {
            ended = true;
            break;
        }
        if (Clock::now() >= waitEnd) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (ended) {
        children_.erase(std::remove(children_.begin(), children_.end(), child.pid),
                        children_.end());
        result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else {
        kill(child.pid);
    }
    return result;
}

bool XSession::running(pid_t pid) {
    auto it = std::find(children_.begin(), children_.end(), pid);
    if (it == children_.end()) return false;
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == 0) return true;
    children_.erase(it);
    return false;
}

bool XSession::kill(pid_t pid) {
    auto it = std::find(children_.begin(), children_.end(), pid);
    if (it == children_.end()) return false;
    children_.erase(it);
    // Each child was started as the leader of a group of its own, so helpers it
    // started itself go too; one that left its group is signalled alone.
    pid_t target = getpgid(pid) == pid ? -pid : pid;
    // A child that has a session of its own (the program an xterm runs on its
    // terminal) is not in the group; should the hang-up of its terminal miss
    // it, it is ended by its PID.
    const std::vector<pid_t> grandchildren = childrenOf(pid);
    ::kill(target, SIGTERM);
    if (!reapWithin(pid, std::chrono::seconds(3))) {
        ::kill(target, SIGKILL);
        reapWithin(pid, std::chrono::seconds(5));
    }
    for (pid_t grandchild : grandchildren)
        ::kill(grandchild, SIGKILL);
    if (pid == windowManagerPid_) windowManagerPid_ = -1;
    if (pid == serverPid_) serverPid_ = -1;
    return true;
}

void XSession::startServer(const std::vector<std::string>& serverArguments) {
    int fds[2];
    makePipe(fds);
    // Xvfb writes the display number it chose to the descriptor given; the
    // child gets the write end as descriptor 3.
    std::string log = runtimeDir_ + "/Xvfb.log";
    // Above descriptor 3 too, or the dup2 of the pipe to 3 would replace it.
    int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (logFd >= 0) logFd = highDescriptor(logFd);
    std::vector<std::string> argv = {"Xvfb",         "-displayfd", "3",   "-screen", "0",
                                     "1280x1024x24", "-nolisten",  "tcp", "-noreset"};
    argv.insert(argv.end(), serverArguments.begin(), serverArguments.end());
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    std::vector<std::pair<int, int>> dups = {{fds[1], 3}};
    if (logFd >= 0) dups.emplace_back(logFd, 2);
    pid_t pid = -1;
    try {
        pid = launch(argv, env, dups);
    } catch (...) {
        close(fds[0]);
        close(fds[1]);
        if (logFd >= 0) close(logFd);
        throw;
    }
    close(fds[1]);
    if (logFd >= 0) close(logFd);
    serverPid_ = pid;
    children_.push_back(pid);

    std::string number =
        readUntil(fds[0], Clock::now() + std::chrono::seconds(15),
                  [](const std::string& t) { return t.find('\n') != std::string::npos; });
    close(fds[0]);
    auto end = number.find('\n');
    if (end == std::string::npos || end == 0)
        throw std::runtime_error("Xvfb did not report a display number (see " + log + ")");
    display_ = ":" + number.substr(0, end);
}

bool XSession::windowManagerAnnounced() {
    RunResult r = run({"xprop", "-root", "-display", display_, "_NET_SUPPORTING_WM_CHECK"},
                      std::chrono::seconds(5));
    return r.exitStatus == 0 && r.output.find("window id #") != std::string::npos;
}

void XSession::startBus() {
    // Qt and GLib programs started without a session bus would each start one
    // that outlives the test; they get this one, ended with the session.
    const std::string socket = runtimeDir_ + "/bus";
    busPid_ = start(
        {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=" + socket},
        {}, -1, -1, -1);
    const bool up = waitUntil(
        [&] {
            if (!running(busPid_)) throw std::runtime_error("dbus-daemon ended while starting");
            return std::filesystem::exists(socket);
        },
        std::chrono::seconds(10), std::chrono::milliseconds(10));
    if (!up) throw std::runtime_error("dbus-daemon did not start within 10 s");
    busAddress_ = "unix:path=" + socket;
}

void XSession::startOpenbox() {
    // Its chatter about menus it cannot find goes to a log, not the test output
    // (it writes to both stdout and stderr).
    std::string log = runtimeDir_ + "/openbox.log";
    int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (logFd >= 0) logFd = highDescriptor(logFd);
    try {
        windowManagerPid_ = start({"openbox", "--sm-disable"}, {}, -1, logFd, logFd);
    } catch (...) {
        if (logFd >= 0) close(logFd);
        throw;
    }
    if (logFd >= 0) close(logFd);
    bool up = waitUntil(
        [&] {
            if (!running(windowManagerPid_))
                throw std::runtime_error("openbox ended while starting");
            return windowManagerAnnounced();
        },
        std::chrono::seconds(15), std::chrono::milliseconds(20));
    if (!up) throw std::runtime_error("openbox did not announce itself within 15 s");
    const auto alive = [&] {
        if (!running(windowManagerPid_)) throw std::runtime_error("openbox ended while starting");
    };
    if (!openboxAnswers(display_, alive))
        throw std::runtime_error("openbox did not take requests within 15 s");
}

void XSession::startSway() {
    // sway runs as the unprivileged user when the tests run as root; its
    // runtime folder is its own, and root's clients reach the socket by path.
    const bool root = ::geteuid() == 0;
    const std::string dir = runtimeDir_ + "/sway";
    std::filesystem::create_directory(dir);
    const std::string config = dir + "/config";
    std::ofstream(config) << "output HEADLESS-1 resolution 1280x800\nxwayland disable\n";
    if (root) {
        ::chmod(runtimeDir_.c_str(), 0711);
        if (::chown(dir.c_str(), 65534, 65534) != 0 || ::chown(config.c_str(), 65534, 65534) != 0)
            throw systemError("chown " + dir, errno);
    }
    ::chmod(dir.c_str(), 0700);
    std::vector<std::string> argv = {"sway", "-c", config};
    if (root) {
        argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    const std::string log = runtimeDir_ + "/sway.log";
    int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (logFd >= 0) logFd = highDescriptor(logFd);
    try {
        // setpriv executes sway in its own process: the PID is sway's.
        serverPid_ = windowManagerPid_ =
            start(argv,
                  {"XDG_RUNTIME_DIR=" + dir, "HOME=" + dir, "WLR_BACKENDS=headless",
                   "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "XDG_CONFIG_HOME=" + dir},
                  -1, logFd, logFd);
    } catch (...) {
        if (logFd >= 0) close(logFd);
        throw;
    }
    if (logFd >= 0) close(logFd);
    const bool up = waitUntil(
        [&] {
            if (!running(serverPid_))
                throw std::runtime_error("sway ended while starting (see " + log + ")");
            std::error_code ignored;
            for (const auto& entry : std::filesystem::directory_iterator(dir, ignored)) {
                const std::string file = entry.path().filename();
                if (file.rfind("sway-ipc.", 0) == 0) swaySocket_ = entry.path();
                if (file.rfind("wayland-", 0) == 0 && file.find('.') == std::string::npos)
                    waylandDisplay_ = entry.path();
            }
            if (waylandDisplay_.empty() || swaySocket_.empty()) return false;
            // Up once it answers a client with its globals.
            const RunResult info = run({"wayland-info"}, std::chrono::seconds(5));
            return info.exitStatus == 0 &&
                   info.output.find("zwlr_foreign_toplevel_manager_v1") != std::string::npos;
        },
        std::chrono::seconds(15), std::chrono::milliseconds(20));
    if (!up) throw std::runtime_error("sway did not start within 15 s (see " + log + ")");
}

pid_t startTerminal(XSession& session, const std::string& title,
                    const std::vector<std::string>& command) {
    std::vector<std::string> argv = {"foot", "-T", title};
    if (!session.wayland()) {
        argv = {"xterm", "-u8", "-T", title, "-xrm", "XTerm*allowTitleOps: false", "-e"};
    }
    argv.insert(argv.end(), command.begin(), command.end());
    return session.spawn(argv, {"LC_ALL=C.UTF-8"});
}

pid_t startXterm(XSession& session, const std::string& title,
                 const std::vector<std::string>& command) {
    std::vector<std::string> argv = {"xterm", "-T", title, "-xrm", "XTerm*allowTitleOps: false",
                                     "-e"};
    argv.insert(argv.end(), command.begin(), command.end());
    return session.spawn(argv);
}

}  // namespace tarn::testing
