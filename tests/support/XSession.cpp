// SPDX-License-Identifier: GPL-3.0-or-later
#include "XSession.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tarn::testing {

namespace {

using namespace platformtest;
using Clock = std::chrono::steady_clock;

constexpr const char* kShellExtensionUuid = TARN_SHELL_EXTENSION_UUID;

// A log file for a child's chatter, above descriptor 3 (so that a dup2 onto 3
// cannot replace it); closed with this object.
struct LogFile {
    explicit LogFile(const std::string& path)
        : fd(highDescriptor(open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600))) {}
    ~LogFile() { close(fd); }
    int fd;
};

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

std::string userName(uid_t uid) {
    const passwd* entry = ::getpwuid(uid);
    return entry ? entry->pw_name : std::to_string(uid);
}

}  // namespace

std::uint32_t internAtom(xcb_connection_t* c, const char* name) {
    auto* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

const char* name(WindowManager manager) {
    static const char* const names[] = {"None", "Openbox", "Sway", "KWin", "GnomeShell"};
    return names[static_cast<int>(manager)];
}

XSession::XSession(WindowManager manager, const std::vector<std::string>& serverArguments,
                   const std::string& swayConfig, const std::vector<std::string>& granted)
    : manager_(manager), extraSwayConfig_(swayConfig) {
    // A target program that dies must not take the test down with SIGPIPE when
    // the test writes its next command.
    signal(SIGPIPE, SIG_IGN);

    char pattern[] = "/tmp/tarn-xsession-XXXXXX";
    if (!mkdtemp(pattern)) throw systemError("mkdtemp", errno);
    runtimeDir_ = pattern;
    for (const char* sub : {"config", "cache", "data"})
        std::filesystem::create_directory(runtimeDir_ + "/" + sub);
    try {
        if (manager_ == WindowManager::KWin) {
            // KWin serves its scripting and layouts on the session bus.
            startBus();
            startKWin(granted);
        } else {
            if (manager_ == WindowManager::Sway) {
                startSway();
            } else if (manager_ != WindowManager::GnomeShell) {
                startServer(serverArguments);
            }
            startBus();
            // The shell is a client of the session bus it serves.
            if (manager_ == WindowManager::GnomeShell) startGnomeShell();
        }
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

pid_t XSession::spawn(const std::vector<std::string>& argv,
                      const std::vector<std::string>& extraEnv,
                      const std::vector<std::pair<int, int>>& dups) {
    // The children see only this session: its display, and HOME and the XDG
    // folders in the session's own folder so that no user configuration leaks
    // in; what the caller gives replaces any of them. Empty ones are unset.
    const std::pair<std::string, std::string> ours[] = {
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
        {"DBUS_SYSTEM_BUS_ADDRESS", systemBusAddress_},
        {"XAUTHORITY", ""},
        {"SESSION_MANAGER", ""},
        // Qt tells KWin a line edit's whole text after every key (text
        // input), which swamps a KWin without a GPU once the text is long.
        {"QT_IM_MODULE", kwin() ? "none" : ""}};
    std::vector<std::string> entries;
    for (const auto& [name, value] : ours)
        entries.push_back(value.empty() ? name : name + "=" + value);
    entries.insert(entries.end(), extraEnv.begin(), extraEnv.end());
    const pid_t pid = launch(argv, environmentWith(entries), dups);
    children_.push_back(pid);
    return pid;
}

PipedChild XSession::spawnPiped(const std::vector<std::string>& argv,
                                const std::vector<std::string>& extraEnv) {
    int in[2], out[2];
    makePipe(in);
    makePipe(out);
    PipedChild child;
    try {
        child.pid = spawn(argv, extraEnv, {{in[0], 0}, {out[1], 1}});
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

std::string XSession::keyboardMap() {
    return run({"xkbcomp", "-xkb", display_, "-"}).output;
}

std::vector<int> XSession::keysDown() const {
    xcb_connection_t* c = xcb_connect(display_.c_str(), nullptr);
    auto* r = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
    std::vector<int> down;
    for (int k = 0; r && k < 256; ++k)
        if ((r->keys[k / 8] >> (k % 8)) & 1) down.push_back(k);
    std::free(r);
    xcb_disconnect(c);
    return down;
}

void XSession::grantFakeInput(const std::string& path, const std::string& name) {
    std::ofstream(runtimeDir_ + "/kwin/data/applications/" + name + ".desktop")
        << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=" << path
        << "\nNoDisplay=true\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input,org_kde_kwin_"
           "keystate\n";
}

bool XSession::setKeyboardLayout(const std::string& layout) {
    if (!kwin()) {
        return run(wayland()
                       ? std::vector<std::string>{"swaymsg", "input", "*", "xkb_layout", layout}
                       : std::vector<std::string>{"setxkbmap", "-display", display_, layout})
                   .exitStatus == 0;
    }
    // With US English as a second layout KWin offers its layouts on the bus,
    // which says when it has loaded them.
    std::ofstream(runtimeDir_ + "/config/kxkbrc")
        << "[Layout]\nLayoutList=" << layout << ",us\nVariantList=,\nUse=true\n";
    const std::string loaded = "[('" + layout + "', '',";
    return run({"gdbus", "emit", "--session", "--object-path", "/Layouts", "--signal",
                "org.kde.keyboard.reloadConfig"})
                   .exitStatus == 0 &&
           waitUntil(
               [&] {
                   return run({"gdbus", "call", "--session", "--dest", "org.kde.KWin",
                               "--object-path", "/Layouts", "--method",
                               "org.kde.KeyboardLayouts.getLayoutsList"})
                              .output.find(loaded) != std::string::npos;
               },
               std::chrono::seconds(10));
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
    // it, it is ended afterwards, through a descriptor of the process itself:
    // by then its number may belong to a process of a test running beside.
    std::vector<int> grandchildren;
    for (pid_t grandchild : childrenOf(pid)) {
        const int handle = static_cast<int>(::syscall(SYS_pidfd_open, grandchild, 0));
        if (handle >= 0) grandchildren.push_back(handle);
    }
    ::kill(target, SIGTERM);
    if (!reapWithin(pid, std::chrono::seconds(3))) {
        ::kill(target, SIGKILL);
        reapWithin(pid, std::chrono::seconds(5));
    }
    for (int grandchild : grandchildren) {
        ::syscall(SYS_pidfd_send_signal, grandchild, SIGKILL, nullptr, 0);
        ::close(grandchild);
    }
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
    try {
        LogFile logFile(log);
        serverPid_ = spawn(argv, {}, {{fds[1], 3}, {logFile.fd, 2}});
    } catch (...) {
        close(fds[0]);
        close(fds[1]);
        throw;
    }
    close(fds[1]);

    std::string number = readUntil(fds[0], std::chrono::seconds(15), [](const std::string& t) {
        return t.find('\n') != std::string::npos;
    });
    close(fds[0]);
    auto end = number.find('\n');
    if (end == std::string::npos || end == 0)
        throw std::runtime_error("Xvfb did not report a display number (see " + log + ")");
    display_ = ":" + number.substr(0, end);
}

namespace {

// A bus daemon of the session's own at `socket`; returns its PID once it
// takes connections.
pid_t startBusDaemon(XSession& session, const std::string& socket) {
    // What it says about the services it starts goes to a log beside it.
    LogFile log(socket + ".log");
    const pid_t pid = session.spawn(
        {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=" + socket},
        {}, {{log.fd, 1}, {log.fd, 2}});
    const bool up = waitUntil(
        [&] {
            if (!session.running(pid)) throw std::runtime_error("dbus-daemon ended while starting");
            return std::filesystem::exists(socket);
        },
        std::chrono::seconds(10), std::chrono::milliseconds(10));
    if (!up) throw std::runtime_error("dbus-daemon did not start within 10 s");
    return pid;
}

// Whether `name` has an owner on the bus (`system`: the session's system bus).
bool busHasName(XSession& session, const std::string& name, bool system) {
    const RunResult reply =
        session.run({"gdbus", "call", system ? "--system" : "--session", "--dest",
                     "org.freedesktop.DBus", "--object-path", "/org/freedesktop/DBus", "--method",
                     "org.freedesktop.DBus.NameHasOwner", name},
                    std::chrono::seconds(5));
    return reply.exitStatus == 0 && reply.output.find("true") != std::string::npos;
}

}  // namespace

void XSession::startBus() {
    // Qt and GLib programs started without a session bus would each start one
    // that outlives the test; they get this one, ended with the session.
    const std::string socket = runtimeDir_ + "/bus";
    busPid_ = startBusDaemon(*this, socket);
    busAddress_ = "unix:path=" + socket;
}

void XSession::startOpenbox() {
    // Its chatter about menus it cannot find goes to a log, not the test output.
    LogFile log(runtimeDir_ + "/openbox.log");
    windowManagerPid_ = spawn({"openbox", "--sm-disable"}, {}, {{log.fd, 1}, {log.fd, 2}});
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
    // sway gives XWayland's display to what it runs, and so to the tests
    // through a file; XWayland lets only sway's user in until it is told
    // otherwise.
    const std::string xDisplay = dir + "/x-display";
    std::ofstream(config) << "output HEADLESS-1 resolution 1280x800\nxwayland enable\n"
                          << "exec sh -c 'xhost +si:localuser:" << userName(::geteuid())
                          << " && echo \"$DISPLAY\" > " << xDisplay << ".new && mv " << xDisplay
                          << ".new " << xDisplay << "'\n"
                          << extraSwayConfig_;
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
        spawn(argv,
              {"XDG_RUNTIME_DIR=" + dir, "HOME=" + dir, "WLR_BACKENDS=headless",
               "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "XDG_CONFIG_HOME=" + dir},
              {{logFile.fd, 1}, {logFile.fd, 2}});
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
            if (display_.empty() && std::filesystem::exists(xDisplay)) {
                std::ifstream(xDisplay) >> display_;
                if (display_.empty()) throw std::runtime_error("sway gave no X display");
            }
            if (display_.empty()) return false;
            // Up once it answers a client with its globals.
            const RunResult info = run({"wayland-info"}, std::chrono::seconds(5));
            return info.exitStatus == 0 &&
                   info.output.find("zwlr_foreign_toplevel_manager_v1") != std::string::npos;
        },
        std::chrono::seconds(15), std::chrono::milliseconds(20));
    if (!up) throw std::runtime_error("sway did not start within 15 s (see " + log + ")");
}

void XSession::startKWin(const std::vector<std::string>& granted) {
    // The packaged binary carries a file capability that a container may
    // refuse to execute; a copy carries none.
    const std::string dir = runtimeDir_ + "/kwin";
    std::filesystem::create_directories(dir + "/data/applications");
    // KWin finds the users' own XKB symbols only in a folder that exists
    // when it starts.
    std::filesystem::create_directories(runtimeDir_ + "/config/xkb");
    const std::string binary = dir + "/kwin_wayland";
    std::filesystem::copy_file("/usr/bin/kwin_wayland", binary);
    // KWin grants fake input to the program an installed desktop file names
    // by its absolute path: here the test program itself.
    grantFakeInput(std::filesystem::canonical("/proc/self/exe"), "tarn-tests");
    for (std::size_t i = 0; i < granted.size(); ++i)
        grantFakeInput(granted[i], "granted-" + std::to_string(i));
    const std::string displayFile = dir + "/xwayland-display";
    const std::string log = runtimeDir_ + "/kwin.log";
    LogFile logFile(log);
    serverPid_ = windowManagerPid_ = spawn(
        {binary, "--virtual", "--width", "1280", "--height", "800", "--no-lockscreen", "--socket",
         "wayland-kwin", "--xwayland", "sh -c 'echo $DISPLAY > " + displayFile + "'"},
        {"XDG_DATA_DIRS=" + dir + "/data:/usr/local/share:/usr/share", "KWIN_COMPOSE=Q",
         "QT_QPA_PLATFORM=wayland", "XDG_SESSION_TYPE=wayland"},
        {{logFile.fd, 1}, {logFile.fd, 2}});
    const std::string socket = runtimeDir_ + "/wayland-kwin";
    const bool up = waitUntil(
        [&] {
            if (!running(serverPid_))
                throw std::runtime_error("KWin ended while starting (see " + log + ")");
            if (!std::filesystem::exists(socket) || readFile(displayFile).empty()) return false;
            // Up once it runs scripts for clients on the bus.
            return run({"gdbus", "introspect", "--session", "--dest", "org.kde.KWin",
                        "--object-path", "/Scripting"},
                       std::chrono::seconds(5))
                       .exitStatus == 0;
        },
        std::chrono::seconds(20), std::chrono::milliseconds(20));
    if (!up) throw std::runtime_error("KWin did not start within 20 s (see " + log + ")");
    waylandDisplay_ = socket;
    const std::string display = readFile(displayFile);
    display_ = display.substr(0, display.find('\n'));
}

void XSession::startGnomeShell() {
    // GNOME Shell needs logind on the system bus: a bus of the session's own
    // stands in for it, with a mocked logind.
    const std::string systemSocket = runtimeDir_ + "/system-bus";
    startBusDaemon(*this, systemSocket);
    systemBusAddress_ = "unix:path=" + systemSocket;
    const std::string mockLog = runtimeDir_ + "/logind.log";
    {
        LogFile log(mockLog);
        spawn({"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "logind"}, {},
              {{log.fd, 1}, {log.fd, 2}});
    }
    if (!waitUntil([&] { return busHasName(*this, "org.freedesktop.login1", true); },
                   std::chrono::seconds(15), std::chrono::milliseconds(50)))
        throw std::runtime_error("the mocked logind did not start (see " + mockLog + ")");

    // Tarn's extension as the build staged it, enabled before the shell
    // starts: the shell loads extensions only then.
    const std::string extensions = runtimeDir_ + "/data/gnome-shell/extensions";
    std::filesystem::create_directories(extensions);
    std::filesystem::copy(TARN_SHELL_EXTENSION, extensions + "/" + kShellExtensionUuid,
                          std::filesystem::copy_options::recursive);
    const RunResult enabled = run({"gsettings", "set", "org.gnome.shell", "enabled-extensions",
                                   std::string("['") + kShellExtensionUuid + "']"});
    if (enabled.exitStatus != 0)
        throw std::runtime_error("gsettings could not enable the extension");
    // A first login greets the user with a modal dialog that holds the
    // keyboard: this session's user has seen it.
    run({"gsettings", "set", "org.gnome.shell", "welcome-dialog-last-shown-version", "'999'"});
    // Left by a shell that did not end cleanly, it keeps every extension off.
    std::filesystem::remove(runtimeDir_ + "/gnome-shell-disable-extensions");

    const std::string log = runtimeDir_ + "/gnome-shell.log";
    {
        LogFile logFile(log);
        serverPid_ = windowManagerPid_ =
            spawn({"gnome-shell", "--headless", "--wayland", "--no-x11", "--wayland-display",
                   "wayland-tarn", "--virtual-monitor", "1280x800"},
                  {"XDG_SESSION_TYPE=wayland"}, {{logFile.fd, 1}, {logFile.fd, 2}});
    }
    const bool up = waitUntil(
        [&] {
            if (!running(serverPid_))
                throw std::runtime_error("gnome-shell ended while starting (see " + log + ")");
            return busHasName(*this, "org.tarn.Shell1", false);
        },
        std::chrono::seconds(30), std::chrono::milliseconds(50));
    if (!up) {
        throw std::runtime_error(
            "gnome-shell did not answer with Tarn's extension within 30 s (see " + log + ")");
    }
    // The shell starts in its overview, which keeps new windows from the
    // focus: the session starts where a user works, on the desktop.
    const bool desktop = waitUntil(
        [&] {
            run({"gdbus", "call", "--session", "--dest", "org.gnome.Shell", "--object-path",
                 "/org/gnome/Shell", "--method", "org.freedesktop.DBus.Properties.Set",
                 "org.gnome.Shell", "OverviewActive", "<false>"});
            return run({"gdbus", "call", "--session", "--dest", "org.gnome.Shell", "--object-path",
                        "/org/gnome/Shell", "--method", "org.freedesktop.DBus.Properties.Get",
                        "org.gnome.Shell", "OverviewActive"})
                       .output.find("false") != std::string::npos;
        },
        std::chrono::seconds(15), std::chrono::milliseconds(100));
    if (!desktop) throw std::runtime_error("gnome-shell kept its overview open");
    waylandDisplay_ = runtimeDir_ + "/wayland-tarn";
}

pid_t startTerminal(XSession& session, const std::string& title,
                    const std::vector<std::string>& command, Terminal kind) {
    std::vector<std::string> argv = {"foot", "-T", title};
    if (!session.wayland() || kind == Terminal::X11 || session.kwin()) {
        argv = {"xterm", "-u8", "-T", title, "-xrm", "XTerm*allowTitleOps: false", "-e"};
    }
    argv.insert(argv.end(), command.begin(), command.end());
    return session.spawn(argv, {"LC_ALL=C.UTF-8"});
}

std::string startTerminalToFile(XSession& session, const std::string& title, bool raw, pid_t* pid,
                                Terminal kind) {
    const std::string file = session.folder() + "/" + title + ".out";
    // The shell creates the file once the terminal's line discipline is set.
    const pid_t started = startTerminal(
        session, title,
        {"sh", "-c",
         std::string(raw ? "stty raw -echo" : "stty -echo") + "; exec cat > '" + file + "'"},
        kind);
    if (!waitUntil([&] { return access(file.c_str(), F_OK) == 0; }, std::chrono::seconds(15)))
        throw std::runtime_error("the terminal \"" + title + "\" did not start");
    if (pid) *pid = started;
    return file;
}

}  // namespace tarn::testing
