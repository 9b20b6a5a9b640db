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

// Waits for the child to end, at most `timeout`; true when it was reaped (its
// exit status, 128 + the signal that ended it, into *status).
bool reapWithin(pid_t pid, std::chrono::milliseconds timeout, int* status = nullptr) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        int raw = 0;
        pid_t r = waitpid(pid, &raw, WNOHANG);
        if (r == pid && status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        if (r == pid || (r < 0 && errno == ECHILD)) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// A log file for a child's chatter, above descriptor 3 (so that a dup2 onto 3
// cannot replace it); closed with this object. -1 when it cannot be opened.
struct LogFile {
    explicit LogFile(const std::string& path)
        : fd(open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd >= 0) fd = highDescriptor(fd);
    }
    ~LogFile() {
        if (fd >= 0) close(fd);
    }
    int fd;
};

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

std::string readUntil(int fd, std::chrono::milliseconds limit,
                      const std::function<bool(const std::string&)>& stop) {
    const auto deadline = Clock::now() + limit;
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

const char* name(WindowManager manager) {
    static const char* const names[] = {"None", "Openbox", "Sway"};
    return names[static_cast<int>(manager)];
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
    // folders in the session's own folder so that no user configuration leaks
    // in; what the caller gives replaces any of them.
    const std::pair<const char*, std::string> ours[] = {
        {"DISPLAY", display_},
        {"WAYLAND_DISPLAY", waylandDisplay_},
        {"SWAYSOCK", swaySocket_},
        {"QT_QPA_PLATFORM", waylandDisplay_.empty() ? "" : "wayland"},
        {"HOME", runtimeDir_},
        {"XDG_RUNTIME_DIR", runtimeDir_},
        {"XDG_CONFIG_HOME", runtimeDir_ + "/config"},
        {"XDG_CACHE_HOME", runtimeDir_ + "/cache"},
        {"XDG_DATA_HOME", runtimeDir_ + "/data"},
        {"DBUS_SESSION_BUS_ADDRESS", busAddress_},
        {"XAUTHORITY", ""},
        {"SESSION_MANAGER", ""}};
    const auto given = [&](const std::string& name) {
        return std::any_of(extraEnv.begin(), extraEnv.end(),
                           [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
    };
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string name(*e, std::strcspn(*e, "="));
        if (!given(name) && std::none_of(std::begin(ours), std::end(ours),
                                         [&](const auto& our) { return name == our.first; }))
            env.emplace_back(*e);
    }
    for (const auto& [name, value] : ours)
        if (!value.empty() && !given(name)) env.push_back(name + ("=" + value));
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());

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
    makePipe(out);
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
    result.output = readUntil(child.output, timeout, [](const std::string&) { return false; });
    close(child.output);
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (reapWithin(child.pid, std::max(left, std::chrono::milliseconds(0)), &result.exitStatus)) {
        children_.erase(std::remove(children_.begin(), children_.end(), child.pid),
                        children_.end());
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
    // Xvfb writes the display number it chose to descriptor 3, the pipe's write end.
    int fds[2];
    makePipe(fds);
    const std::string log = runtimeDir_ + "/Xvfb.log";
    std::vector<std::string> argv = {"Xvfb",         "-displayfd", "3",   "-screen", "0",
                                     "1280x1024x24", "-nolisten",  "tcp", "-noreset"};
    argv.insert(argv.end(), serverArguments.begin(), serverArguments.end());
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    {
        LogFile logFile(log);
        std::vector<std::pair<int, int>> dups = {{fds[1], 3}};
        if (logFile.fd >= 0) dups.emplace_back(logFile.fd, 2);
        try {
            serverPid_ = launch(argv, env, dups);
        } catch (...) {
            close(fds[0]);
            close(fds[1]);
            throw;
        }
    }
    close(fds[1]);
    children_.push_back(serverPid_);

    std::string number = readUntil(fds[0], std::chrono::seconds(15), [](const std::string& t) {
        return t.find('\n') != std::string::npos;
    });
    close(fds[0]);
    auto end = number.find('\n');
    if (end == std::string::npos || end == 0)
        throw std::runtime_error("Xvfb did not report a display number (see " + log + ")");
    display_ = ":" + number.substr(0, end);
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
    // Its chatter about menus it cannot find goes to a log, not the test output.
    LogFile log(runtimeDir_ + "/openbox.log");
    windowManagerPid_ = start({"openbox", "--sm-disable"}, {}, -1, log.fd, log.fd);
    // Announced first (_NET_SUPPORTING_WM_CHECK on the root), then answering.
    const bool up = waitUntil(
        [&] {
            if (!running(windowManagerPid_))
                throw std::runtime_error("openbox ended while starting");
            const RunResult r =
                run({"xprop", "-root", "-display", display_, "_NET_SUPPORTING_WM_CHECK"},
                    std::chrono::seconds(5));
            return r.exitStatus == 0 && r.output.find("window id #") != std::string::npos;
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
    LogFile logFile(log);
    // setpriv executes sway in its own process: the PID is sway's.
    serverPid_ = windowManagerPid_ =
        start(argv,
              {"XDG_RUNTIME_DIR=" + dir, "HOME=" + dir, "WLR_BACKENDS=headless",
               "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "XDG_CONFIG_HOME=" + dir},
              -1, logFile.fd, logFile.fd);
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
    return startTerminal(session, title, command);
}

pid_t startTerminalToFile(XSession& session, const std::string& title, const std::string& file,
                          bool raw) {
    std::remove(file.c_str());
    // The shell creates the file once the terminal's line discipline is set.
    const pid_t pid = startTerminal(
        session, title,
        {"sh", "-c",
         std::string(raw ? "stty raw -echo" : "stty -echo") + "; exec cat > '" + file + "'"});
    if (!waitUntil([&] { return access(file.c_str(), F_OK) == 0; }, std::chrono::seconds(15)))
        throw std::runtime_error("the terminal \"" + title + "\" did not start");
    return pid;
}

}  // namespace tarn::testing
