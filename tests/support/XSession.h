// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private desktop for tests that need real windows: its own Xvfb (on a
// display number the server picks, `-displayfd`), optionally with openbox,
// a headless sway (as user 65534 when the tests run as root), a headless
// KWin (Plasma's compositor, with XWayland), or a headless GNOME Shell with
// Tarn's extension (from the build) enabled, plus a D-Bus
// session bus of its own that every child gets, so that no Qt or GLib program
// starts one that outlives the test. The constructor returns once the window
// manager takes requests, or throws std::runtime_error.
//
// Every child is started in a process group of its own with the session's
// display, HOME and XDG folders; kill() and the destructor end exactly those
// groups, by their IDs, and reap them: nothing is ever signalled by name.
// Children also get SIGTERM from the kernel when the thread that started them
// ends (PR_SET_PDEATHSIG): create sessions on the test's main thread.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "PlatformTestSupport.h"

typedef struct xcb_connection_t xcb_connection_t;

namespace tarn::testing {

// The desktop a session runs: X11 without a window manager, X11 with openbox,
// a headless sway (Wayland, with XWayland for X11 programs), a headless
// KWin (Wayland with XWayland), or a headless GNOME Shell (Wayland, no
// XWayland). On KWin the programs started here are granted
// org_kde_kwin_fake_input as the package grants it to Tarn, through an
// installed desktop file (in a data folder of the session's own) naming the
// running test program.
enum class WindowManager { None, Openbox, Sway, KWin, GnomeShell };

// "None", "Openbox", "Sway", "KWin", "GnomeShell": for parameterised test names.
const char* name(WindowManager manager);
// The X atom of that name (XCB_NONE when the server gives none).
std::uint32_t internAtom(xcb_connection_t* c, const char* name);

// The only way tests wait: a bounded poll of a predicate.
using platformtest::childrenOf;
using platformtest::readUntil;
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
    // "X-Resource"} for a server without that extension); swayConfig, lines
    // that end sway's configuration (e.g. a key binding). On KWin, `granted`
    // names further programs (absolute paths) granted fake input.
    explicit XSession(WindowManager manager = WindowManager::None,
                      const std::vector<std::string>& serverArguments = {},
                      const std::string& swayConfig = {},
                      const std::vector<std::string>& granted = {});
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // The X display (":7"); on sway and KWin, their XWayland's.
    const std::string& display() const { return display_; }
    // On Wayland the absolute path of the compositor's socket, on sway also
    // that of its IPC; empty on X11.
    const std::string& waylandDisplay() const { return waylandDisplay_; }
    const std::string& folder() const { return runtimeDir_; }
    const std::string& swaySocket() const { return swaySocket_; }
    bool wayland() const {
        return manager_ == WindowManager::Sway || kwin() || manager_ == WindowManager::GnomeShell;
    }
    bool kwin() const { return manager_ == WindowManager::KWin; }
    WindowManager manager() const { return manager_; }
    // The window manager's PID (-1 without one), the X server's, and the
    // session bus every child is given, with its daemon's PID.
    pid_t windowManagerPid() const { return windowManagerPid_; }
    pid_t serverPid() const { return serverPid_; }
    const std::string& busAddress() const { return busAddress_; }
    pid_t busPid() const { return busPid_; }

    // Starts argv[0] (searched on PATH) in the session with the extra
    // "NAME=value" entries, in a process group of its own, each descriptor of
    // `dups` duplicated onto the child's; throws on failure.
    pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
                const std::vector<std::pair<int, int>>& dups = {});
    // The same with stdin and stdout on pipes that the caller owns (and closes).
    PipedChild spawnPiped(const std::vector<std::string>& argv,
                          const std::vector<std::string>& extraEnv = {});
    // Runs a short tool (xprop, xdotool) to its end, at most `timeout`.
    RunResult run(const std::vector<std::string>& argv,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // On X11: the keyboard map as xkbcomp dumps it, and the keycodes the
    // server holds down.
    std::string keyboardMap();
    std::vector<int> keysDown() const;

    // Makes `layout` ("de") the keyboard layout, as the desktop's own tool
    // does (setxkbmap, swaymsg, kxkbrc and KWin's reload; on KWin with US
    // English as a second layout), and returns once the desktop uses it;
    // false when it did not within 10 s.
    bool setKeyboardLayout(const std::string& layout);

    // True while the child has not ended (it is reaped when it has).
    bool running(pid_t pid);
    // Ends a child started here: SIGTERM to its group, up to 3 s for it to go,
    // then SIGKILL; always reaped. Returns false for a PID not started here.
    bool kill(pid_t pid);

  private:
    void startServer(const std::vector<std::string>& serverArguments);
    void startBus();
    void startOpenbox();
    void startSway();
    void startKWin(const std::vector<std::string>& granted);
    // Grants org_kde_kwin_fake_input to the program at `path` as its package
    // would, by a desktop file in the session's data folder; KWin reads it
    // when it starts.
    void grantFakeInput(const std::string& path, const std::string& name);
    void startGnomeShell();
    void endAll();

    WindowManager manager_;
    std::string extraSwayConfig_;
    std::string display_;
    std::string waylandDisplay_, swaySocket_;
    std::string runtimeDir_;  // HOME and XDG folders for the children
    pid_t serverPid_ = -1;
    pid_t windowManagerPid_ = -1;
    std::string busAddress_, systemBusAddress_;
    pid_t busPid_ = -1;
    std::vector<pid_t> children_;  // in start order; ended in reverse
};

// How a terminal is wanted: the desktop's own (xterm on X11, foot on sway),
// or xterm, an X11 program, whatever the desktop (under XWayland on sway).
enum class Terminal { Native, X11 };

// The session's terminal with that title (one the command cannot change)
// and command, run with LC_ALL=C.UTF-8.
pid_t startTerminal(XSession& session, const std::string& title,
                    const std::vector<std::string>& command = {"sleep", "3600"},
                    Terminal kind = Terminal::Native);
// A terminal whose program writes every byte it receives, without echo, raw
// (no line editing) or cooked, to a file in the session's folder; returns the
// file once the terminal reads, its PID in *pid.
std::string startTerminalToFile(XSession& session, const std::string& title, bool raw = true,
                                pid_t* pid = nullptr, Terminal kind = Terminal::Native);

}  // namespace tarn::testing
