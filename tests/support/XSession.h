// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private X display for tests that need real windows.
//
//   tarn::testing::XSession session(tarn::testing::WindowManager::Openbox);
//   session.display();                        // ":7": pass it to the code under test
//   pid_t pid = session.spawn({"xterm", "-T", "hello", "-e", "sleep", "600"});
//   session.kill(pid);                        // SIGTERM, bounded wait, SIGKILL, reaped
//   tarn::testing::waitUntil([&] { return ...; }, std::chrono::seconds(5));
//
// XSession starts its own Xvfb on a display number the server picks itself
// (`Xvfb -displayfd`), so several sessions and other people's servers never
// collide. With WindowManager::Openbox it also starts openbox and returns only
// once openbox has announced itself (_NET_SUPPORTING_WM_CHECK on the root), so
// a test never races the window manager's start. Every child is started in a
// process group of its own with DISPLAY set to the session; kill() and the
// destructor end exactly those groups, by their IDs, and reap them. Nothing is
// ever signalled by name. Each child also gets SIGTERM from the kernel when the
// thread that started it ends (PR_SET_PDEATHSIG), so a test that crashes leaves
// no server behind: create sessions on the test's main thread. A session that
// cannot start throws std::runtime_error.
//
// With WindowManager::Sway the session is a headless sway instead of Xvfb
// (run as the unprivileged user 65534 when the tests run as root, since sway
// refuses root), with its own runtime folder; it returns once sway offers the
// protocols Tarn uses. Its children get WAYLAND_DISPLAY (the socket's absolute
// path), SWAYSOCK and QT_QPA_PLATFORM=wayland instead of DISPLAY. The
// terminal there is foot (startTerminal()).
//
// The session also runs a D-Bus session bus of its own (dbus-daemon), which
// every child is given in DBUS_SESSION_BUS_ADDRESS: a Qt or GLib program
// started without one would start a bus that outlives the test.
//
// Programs started with spawnPiped() get pipes on stdin and stdout (see
// TargetProgram.h for the Qt target program driven that way). run() starts a
// program, waits for it (bounded) and returns its exit status and output; it is
// meant for short tools such as xprop or xdotool.
//
// startXterm() starts an xterm whose title is the one given and stays so (the
// command it runs never sets a title).
//
// waitUntil() polls a predicate every few milliseconds until it holds or the
// time is up and says which happened; it is the only way tests wait.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "PlatformTestSupport.h"

namespace tarn::testing {

// The desktop a session runs: X11 without a window manager, X11 with openbox,
// or a headless sway (Wayland, no XWayland).
enum class WindowManager { None, Openbox, Sway };

// A readable name for value-parameterised test names ("None", "Openbox",
// "Sway").
const char* name(WindowManager manager);

// Polls `predicate` until it returns true (then true) or `timeout` has passed
// (then false, after one last try); shared with the platform tests.
using platformtest::waitUntil;

struct PipedChild {
    pid_t pid = -1;
    int input = -1;   // write end of the child's stdin
    int output = -1;  // read end of the child's stdout
};

struct RunResult {
    int exitStatus = -1;  // -1 when the program did not end in time (it was killed)
    std::string output;   // what it wrote on stdout
};

class XSession {
  public:
    // serverArguments go to Xvfb after its own (e.g. {"-extension",
    // "X-Resource"} for a server without that extension).
    explicit XSession(WindowManager manager = WindowManager::None,
                      const std::vector<std::string>& serverArguments = {});
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // The X display (":7"); empty on sway.
    const std::string& display() const { return display_; }
    // On sway: the absolute path of its Wayland socket and of its IPC
    // socket; empty on X11.
    const std::string& waylandDisplay() const { return waylandDisplay_; }
    const std::string& swaySocket() const { return swaySocket_; }
    bool wayland() const { return manager_ == WindowManager::Sway; }
    WindowManager windowManager() const { return manager_; }
    // The PID of the window manager, -1 without one.
    pid_t windowManagerPid() const { return windowManagerPid_; }
    // The PID of the X server.
    pid_t serverPid() const { return serverPid_; }
    // The session's own D-Bus session bus, which every child is given, and the
    // PID of its daemon.
    const std::string& busAddress() const { return busAddress_; }
    pid_t busPid() const { return busPid_; }

    // Starts argv[0] (searched on PATH) with DISPLAY set and the extra
    // "NAME=value" entries added, in a process group of its own. Throws when it
    // cannot be started.
    pid_t spawn(const std::vector<std::string>& argv,
                const std::vector<std::string>& extraEnv = {});
    // The same, with the child's stdin and stdout connected to pipes that the
    // caller owns (and closes).
    PipedChild spawnPiped(const std::vector<std::string>& argv,
                          const std::vector<std::string>& extraEnv = {});
    // Runs a short program to its end, at most `timeout`.
    RunResult run(const std::vector<std::string>& argv,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // True while the child has not ended (it is reaped when it has).
    bool running(pid_t pid);
    // Ends a child started here: SIGTERM to its group, up to 3 s for it to go,
    // then SIGKILL; always reaped. Returns false for a PID not started here.
    bool kill(pid_t pid);

  private:
    pid_t start(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                int stdinFd, int stdoutFd, int stderrFd);
    void startServer(const std::vector<std::string>& serverArguments);
    void startBus();
    void startOpenbox();
    void startSway();
    bool windowManagerAnnounced();
    void endAll();

    WindowManager manager_;
    std::string display_;
    std::string waylandDisplay_, swaySocket_;
    std::string runtimeDir_;  // HOME and XDG folders for the children
    pid_t serverPid_ = -1;
    pid_t windowManagerPid_ = -1;
    std::string busAddress_;
    pid_t busPid_ = -1;
    std::vector<pid_t> children_;  // in start order; ended in reverse
};

// Starts `xterm -T title -e command...` in the session; the default command
// just sleeps, so the title stays as given.
pid_t startXterm(XSession& session, const std::string& title,
                 const std::vector<std::string>& command = {"sleep", "3600"});
// The session's terminal with that title and command: xterm on X11, foot on
// sway. The command runs with LC_ALL=C.UTF-8.
pid_t startTerminal(XSession& session, const std::string& title,
                    const std::vector<std::string>& command = {"sleep", "3600"});

}  // namespace tarn::testing
