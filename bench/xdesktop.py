# SPDX-License-Identifier: GPL-3.0-or-later
"""Private desktops for the benchmark scripts: an Xvfb on a display number it
picks itself, optionally openbox on it; a headless sway; a headless KWin
(Plasma's compositor, with XWayland); a headless GNOME Shell with Tarn's
extension; and children started there.

Every child runs in a session (and so a process group) of its own and is ended
by that group's id, never by name: other benchmarks, tests and people use the
same machine. Every wait here is bounded.

Standard library only, so that the scripts run with /usr/bin/python3.
"""

import json
import os
import pwd
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time


# Without a session bus, Qt and GLib programs autolaunch one that leaves the
# child's process group and outlives it: children get none unless the
# caller's extra_env gives one.
NO_BUS = {"DBUS_SESSION_BUS_ADDRESS": "disabled:"}


def read_line(fd, timeout):
    """The first line readable from fd within timeout seconds, without its
    newline; None when the time runs out or the writer closes first."""
    data = b""
    deadline = time.monotonic() + timeout
    while b"\n" not in data:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            return None
        chunk = os.read(fd, 256)
        if not chunk:
            return None
        data += chunk
    return data.split(b"\n")[0].decode()


def wait_until(predicate, timeout, interval=0.05):
    """Whether predicate() became true within timeout seconds; it is asked once
    more at the end, so a slow predicate still gets its last say."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(interval)
    return predicate()


def end(proc, grace=5):
    """Ends a child started in a session of its own, with all it started in
    turn: SIGTERM to its process group, SIGKILL if it outlives the grace."""
    if proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, signal.SIGTERM)
        proc.wait(grace)
    except ProcessLookupError:
        proc.wait(5)
    except subprocess.TimeoutExpired:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait(5)


class Desktop:
    """Xvfb (and openbox with window_manager=True) with a home of its own.

    env is what children get: DISPLAY, a private HOME and XDG folders (openbox
    and Qt keep state there), no Wayland, no session or accessibility bus, plus
    the caller's extra_env. A desktop that fails to start ends what it started
    before raising. close() ends every child, last started first, then the
    server, and removes the home.
    """

    def __init__(self, prefix, screen="1280x1024x24", window_manager=False, extra_env=None):
        self.children = []
        self.server = None
        # Started before the server and needed by it (buses, a mocked
        # logind): ended after it.
        self.daemons = []
        self.openbox = None
        self.home = tempfile.mkdtemp(prefix=prefix)
        try:
            self._start(screen, window_manager, extra_env or {})
        except BaseException:
            self.close()
            raise

    def _start(self, screen, window_manager, extra_env):
        read_fd, write_fd = os.pipe()
        try:
            self.server = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", screen,
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_fd,), stderr=subprocess.DEVNULL, start_new_session=True)
        finally:
            os.close(write_fd)
        try:
            number = read_line(read_fd, 15)
        finally:
            os.close(read_fd)
        if not number or not number.strip().isdigit():
            raise RuntimeError("Xvfb did not report a display")
        self.display = ":" + number.strip()
        self.env = dict(os.environ, DISPLAY=self.display, HOME=self.home,
                        XDG_RUNTIME_DIR=self.home, XDG_CONFIG_HOME=self.home + "/config",
                        XDG_DATA_HOME=self.home + "/data", XDG_CACHE_HOME=self.home + "/cache",
                        QT_ACCESSIBILITY="0", NO_AT_BRIDGE="1")
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.update(NO_BUS)
        self.env.update(extra_env)
        if window_manager:
            self._start_openbox()

    def _start_openbox(self):
        with tempfile.TemporaryFile() as log:
            self.openbox = self.spawn(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                                      stderr=log)
            # openbox sets the property once it manages the screen.
            if not wait_until(lambda: "window id #" in self.xprop("_NET_SUPPORTING_WM_CHECK"),
                              15):
                log.seek(0)
                raise RuntimeError("openbox did not start on %s: %s"
                                   % (self.display, log.read().decode(errors="replace")))

    def spawn(self, argv, **popen_kwargs):
        """Starts argv on this desktop (env unless given) in a session of its own."""
        popen_kwargs.setdefault("env", self.env)
        child = subprocess.Popen(argv, start_new_session=True, **popen_kwargs)
        self.children.append(child)
        return child

    def end(self, child, grace=5):
        end(child, grace)
        if child in self.children:
            self.children.remove(child)

    def xprop(self, *args):
        """xprop's output for the root window."""
        result = subprocess.run(["xprop", "-root", *args], env=self.env, capture_output=True,
                                text=True, timeout=30)
        return result.stdout

    def close(self):
        for child in reversed(list(self.children)):
            self.end(child)
        if self.server is not None:
            end(self.server)
        for daemon in reversed(self.daemons):
            end(daemon)
        shutil.rmtree(self.home, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class SwayDesktop(Desktop):
    """A headless sway (Wayland, no XWayland unless a subclass sets xwayland)
    with a home of its own, and children started there, ended as Desktop's
    are.

    sway refuses to run as root: as root it runs as the unprivileged user
    65534 in a runtime folder of its own, and children reach its socket by
    path. env is what children get: WAYLAND_DISPLAY, SWAYSOCK,
    QT_QPA_PLATFORM=wayland, no DISPLAY (with xwayland, XWayland's), no
    session bus, private HOME and XDG folders, plus the caller's extra_env.
    """

    xwayland = False

    def _start(self, screen, window_manager, extra_env):
        # A sway has no screen argument or window manager to add.
        run = os.path.join(self.home, "sway")
        os.mkdir(run)
        config = os.path.join(run, "config")
        x_display = os.path.join(run, "x-display")
        with open(config, "w") as f:
            f.write("output HEADLESS-1 resolution 1920x1080\n")
            if self.xwayland:
                # sway gives XWayland's display only to what it runs; XWayland
                # lets in only sway's user until it is told otherwise.
                f.write("xwayland enable\nexec sh -c 'xhost +si:localuser:%s && "
                        "echo \"$DISPLAY\" > %s.new && mv %s.new %s'\n"
                        % (pwd.getpwuid(os.geteuid()).pw_name, x_display, x_display,
                           x_display))
            else:
                f.write("xwayland disable\n")
        argv = ["sway", "-c", config]
        if os.geteuid() == 0:
            os.chmod(self.home, 0o711)
            os.chown(run, 65534, 65534)
            os.chown(config, 65534, 65534)
            argv = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + argv
        os.chmod(run, 0o700)
        server_env = dict(os.environ, XDG_RUNTIME_DIR=run, HOME=run, WLR_BACKENDS="headless",
                          WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman")
        server_env.pop("DISPLAY", None)
        server_env.pop("WAYLAND_DISPLAY", None)
        # setpriv executes sway in its own process: the PID is sway's.
        self.server = subprocess.Popen(argv, env=server_env, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL, start_new_session=True)

        def up():
            names = os.listdir(run)
            sockets = [n for n in names if n.startswith("wayland-") and "." not in n]
            ipc = [n for n in names if n.startswith("sway-ipc.")]
            if not sockets or not ipc:
                return False
            self.display = os.path.join(run, sockets[0])
            self.swaysock = os.path.join(run, ipc[0])
            if self.xwayland:
                try:
                    with open(x_display) as f:
                        self.x_display = f.read().strip()
                except OSError:
                    return False
            info = subprocess.run(["wayland-info"], capture_output=True, text=True, timeout=10,
                                  env=dict(os.environ, WAYLAND_DISPLAY=self.display))
            return "zwlr_foreign_toplevel_manager_v1" in info.stdout
        if not wait_until(up, 15, 0.05):
            raise RuntimeError("sway did not start")
        runtime = os.path.join(self.home, "runtime")
        os.mkdir(runtime, 0o700)
        self.env = dict(os.environ, WAYLAND_DISPLAY=self.display, SWAYSOCK=self.swaysock,
                        QT_QPA_PLATFORM="wayland", HOME=self.home, XDG_RUNTIME_DIR=runtime,
                        XDG_CONFIG_HOME=self.home + "/config", XDG_DATA_HOME=self.home + "/data",
                        XDG_CACHE_HOME=self.home + "/cache", QT_ACCESSIBILITY="0",
                        NO_AT_BRIDGE="1")
        self.env.pop("DISPLAY", None)
        if self.xwayland:
            self.env["DISPLAY"] = self.x_display
        self.env.update(NO_BUS)
        self.env.update(extra_env)

    def swaymsg(self, *args):
        return subprocess.run(["swaymsg", *args], env=self.env, capture_output=True, text=True,
                              timeout=30).stdout

    def focused_title(self):
        """The title of the window sway has focused; empty for none."""
        def walk(node):
            if node.get("focused"):
                return node.get("name") or ""
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                found = walk(child)
                if found:
                    return found
            return ""
        tree = self.swaymsg("-t", "get_tree")
        return walk(json.loads(tree)) if tree else ""

    def focus(self, title):
        """Whether the window of that title has the focus, focusing it first."""
        self.swaymsg('[title="^%s$"]' % title, "focus")
        return self.focused_title() == title


def private_folders(home):
    """HOME and the XDG folders inside home, made; the runtime one mode 700."""
    folders = {"HOME": home, "XDG_CONFIG_HOME": home + "/config",
               "XDG_CACHE_HOME": home + "/cache", "XDG_DATA_HOME": home + "/data",
               "XDG_RUNTIME_DIR": home + "/run"}
    for folder in folders.values():
        os.makedirs(folder, exist_ok=True)
    os.chmod(folders["XDG_RUNTIME_DIR"], 0o700)
    return folders


class BusDesktop(Desktop):
    """What KWinDesktop and GnomeDesktop share: a home of their own whose
    folders every process started here gets, the server included, and D-Bus
    buses of their own (services a bus starts, such as dconf, inherit the
    bus's environment, so the buses get those folders too)."""

    def _start_bus(self, name, env):
        """A dbus-daemon listening on HOME/NAME; returns its address."""
        socket = os.path.join(self.home, name)
        self.daemons.append(subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile",
             "--address=unix:path=" + socket], env=env, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True))
        if not wait_until(lambda: os.path.exists(socket), 10, 0.01):
            raise RuntimeError("dbus-daemon did not start")
        return "unix:path=" + socket

    def gdbus(self, *args, bus="--session", timeout=10):
        """gdbus's output for a call on this desktop's bus; None when it failed."""
        result = subprocess.run(["gdbus", args[0], bus, *args[1:]], env=self.env,
                                capture_output=True, text=True, timeout=timeout)
        return result.stdout if result.returncode == 0 else None

    def has_name(self, name, bus="--session"):
        reply = self.gdbus("call", "--dest", "org.freedesktop.DBus", "--object-path",
                           "/org/freedesktop/DBus", "--method",
                           "org.freedesktop.DBus.NameHasOwner", name, bus=bus)
        return reply is not None and "true" in reply

    def _server_log(self, name):
        self.log = os.path.join(self.home, name)
        return open(self.log, "wb")

    def log_tail(self, lines=3):
        try:
            with open(self.log, errors="replace") as f:
                return " | ".join(f.read().strip().splitlines()[-lines:])
        except OSError:
            return ""


class KWinDesktop(BusDesktop):
    """A headless KWin (Wayland, with XWayland) on a session bus of its own,
    as Tarn's test fixture starts it. Programs named in `granted` (absolute
    paths) are granted org_kde_kwin_fake_input the way Tarn's package grants
    it to tarn: by an installed desktop file naming them, which KWin reads
    when it starts.

    env is what children get: WAYLAND_DISPLAY (the socket's absolute path),
    DISPLAY (KWin's XWayland), the session bus, QT_QPA_PLATFORM=wayland,
    TARN_BACKEND=kwin, the private folders, plus the caller's extra_env.
    """

    name = "KWin"
    granted = ()

    def _start(self, screen, window_manager, extra_env):
        folders = private_folders(self.home)
        # KWin finds the user's own XKB symbols only in a folder that exists
        # when it starts.
        os.makedirs(folders["XDG_CONFIG_HOME"] + "/xkb", exist_ok=True)
        applications = os.path.join(self.home, "kwin", "applications")
        os.makedirs(applications)
        for index, path in enumerate(self.granted):
            with open(os.path.join(applications, "granted-%d.desktop" % index), "w") as f:
                f.write("[Desktop Entry]\nType=Application\nName=granted-%d\nExec=%s\n"
                        "NoDisplay=true\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input,"
                        "org_kde_kwin_keystate\n" % (index, path))
        # The packaged binary carries a file capability that a container may
        # refuse to execute; a copy carries none.
        binary = os.path.join(self.home, "kwin", "kwin_wayland")
        # XWayland's sockets go there; an X server makes it when it starts
        # first, KWin only asks for it.
        if not os.path.isdir("/tmp/.X11-unix"):
            os.makedirs("/tmp/.X11-unix", exist_ok=True)
            os.chmod("/tmp/.X11-unix", 0o1777)
        shutil.copy(shutil.which("kwin_wayland") or "/usr/bin/kwin_wayland", binary)
        base = dict(os.environ, **folders)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                     "QT_QPA_PLATFORM", "SWAYSOCK"):
            base.pop(name, None)
        bus = self._start_bus("bus", base)
        base["DBUS_SESSION_BUS_ADDRESS"] = bus
        display_file = os.path.join(self.home, "kwin", "xwayland-display")
        with self._server_log("kwin.log") as log:
            self.server = subprocess.Popen(
                [binary, "--virtual", "--width", "1280", "--height", "800", "--no-lockscreen",
                 "--socket", "wayland-kwin", "--xwayland",
                 "sh -c 'echo $DISPLAY > %s'" % display_file],
                env=dict(base, XDG_DATA_DIRS=os.path.join(self.home, "kwin") +
                         ":/usr/local/share:/usr/share", KWIN_COMPOSE="Q",
                         QT_QPA_PLATFORM="wayland", XDG_SESSION_TYPE="wayland"),
                stdout=log, stderr=log, start_new_session=True)
        socket = os.path.join(folders["XDG_RUNTIME_DIR"], "wayland-kwin")
        self.env = base

        def up():
            if self.server.poll() is not None:
                raise RuntimeError("KWin ended while starting: " + self.log_tail())
            if not os.path.exists(socket) or not os.path.exists(display_file):
                return False
            with open(display_file) as f:
                if not f.read().strip():
                    return False
            # Up once it runs scripts for clients on the bus.
            return self.gdbus("introspect", "--dest", "org.kde.KWin", "--object-path",
                              "/Scripting") is not None
        if not wait_until(up, 30, 0.05):
            raise RuntimeError("KWin did not start within 30 s: " + self.log_tail())
        with open(display_file) as f:
            self.display = f.read().strip()
        self.env = dict(base, WAYLAND_DISPLAY=socket, DISPLAY=self.display,
                        QT_QPA_PLATFORM="wayland", TARN_BACKEND="kwin", QT_ACCESSIBILITY="0",
                        NO_AT_BRIDGE="1",
                        # Qt tells KWin a line edit's whole text after every
                        # key (text input), which swamps a KWin without a GPU.
                        QT_IM_MODULE="none")
        self.env.update(extra_env)


class GnomeDesktop(BusDesktop):
    """A headless GNOME Shell (Wayland, no XWayland) with Tarn's extension
    from `extension` (the build's staged copy) enabled, as Tarn's test fixture
    starts it: a session bus and a system bus of its own, with a mocked
    logind on the latter, which the shell needs.

    env is what children get: WAYLAND_DISPLAY (the socket's absolute path),
    both buses, QT_QPA_PLATFORM=wayland, GDK_BACKEND=wayland,
    TARN_BACKEND=gnome, the private folders, plus the caller's extra_env.
    """

    name = "GNOME"
    extension = None
    SHELL = "org.tarn.Shell1"

    def _start(self, screen, window_manager, extra_env):
        if not self.extension or not os.path.isdir(self.extension):
            raise RuntimeError("Tarn's Shell extension is not at %r" % self.extension)
        folders = private_folders(self.home)
        base = dict(os.environ, **folders)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                     "DBUS_SYSTEM_BUS_ADDRESS", "QT_QPA_PLATFORM", "SWAYSOCK"):
            base.pop(name, None)
        base["DBUS_SYSTEM_BUS_ADDRESS"] = self._start_bus("system-bus", base)
        base["DBUS_SESSION_BUS_ADDRESS"] = self._start_bus("bus", base)
        self.env = base
        self.daemons.append(subprocess.Popen(
            ["/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "logind"],
            env=base, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            # Not the bench folder, whose typing.py would stand in for the
            # standard library's module of that name.
            cwd=self.home, start_new_session=True))
        if not wait_until(lambda: self.has_name("org.freedesktop.login1", "--system"), 15, 0.05):
            raise RuntimeError("the mocked logind did not start")
        # The extension is enabled before the shell starts: it loads them only then.
        uuid = os.path.basename(os.path.normpath(self.extension))
        shutil.copytree(self.extension, os.path.join(
            folders["XDG_DATA_HOME"], "gnome-shell", "extensions", uuid))
        for key, value in (("enabled-extensions", "['%s']" % uuid),
                           # A first login greets the user with a dialog that holds the keyboard.
                           ("welcome-dialog-last-shown-version", "'999'")):
            subprocess.run(["gsettings", "set", "org.gnome.shell", key, value], env=base,
                           check=True, capture_output=True, timeout=30)
        with self._server_log("gnome-shell.log") as log:
            self.server = subprocess.Popen(
                ["gnome-shell", "--headless", "--wayland", "--no-x11", "--wayland-display",
                 "wayland-tarn", "--virtual-monitor", "1280x800"],
                env=dict(base, XDG_SESSION_TYPE="wayland"), stdout=log, stderr=log,
                start_new_session=True)

        def up():
            if self.server.poll() is not None:
                raise RuntimeError("gnome-shell ended while starting: " + self.log_tail())
            return self.has_name(self.SHELL)
        if not wait_until(up, 45, 0.1):
            raise RuntimeError("gnome-shell did not answer with Tarn's extension within 45 s: "
                               + self.log_tail())

        # It starts in its overview, which keeps new windows from the focus;
        # a user works on the desktop.
        def on_desktop():
            self.gdbus("call", "--dest", "org.gnome.Shell", "--object-path", "/org/gnome/Shell",
                       "--method", "org.freedesktop.DBus.Properties.Set", "org.gnome.Shell",
                       "OverviewActive", "<false>")
            reply = self.gdbus("call", "--dest", "org.gnome.Shell", "--object-path",
                               "/org/gnome/Shell", "--method",
                               "org.freedesktop.DBus.Properties.Get", "org.gnome.Shell",
                               "OverviewActive")
            return reply is not None and "false" in reply
        if not wait_until(on_desktop, 15, 0.1):
            raise RuntimeError("gnome-shell kept its overview open")
        self.display = os.path.join(folders["XDG_RUNTIME_DIR"], "wayland-tarn")
        self.env = dict(base, WAYLAND_DISPLAY=self.display, QT_QPA_PLATFORM="wayland",
                        GDK_BACKEND="wayland", TARN_BACKEND="gnome", QT_ACCESSIBILITY="0",
                        NO_AT_BRIDGE="1")
        self.env.update(extra_env)

    def shell(self, method, *args):
        """The reply of a method of Tarn's extension, as gdbus prints it."""
        return self.gdbus("call", "--dest", self.SHELL, "--object-path", "/org/tarn/Shell1",
                          "--method", self.SHELL + "." + method, *args)

    def window_ids(self, title):
        """The shell's IDs of the windows titled exactly so."""
        reply = self.shell("ListWindows") or ""
        # gdbus gives the type of the array's first element only.
        return [int(m.group(1)) for m in re.finditer(
            r"\((?:uint64 )?(\d+), '((?:[^'\\]|\\.)*)'", reply) if m.group(2) == title]

    def focus(self, title):
        """Whether the window of that title has the focus, activating it first."""
        ids = self.window_ids(title)
        if not ids:
            return False
        self.shell("Activate", str(ids[0]))
        reply = self.shell("FocusedWindow") or ""
        found = re.search(r"uint64 (\d+)", reply)
        return bool(found) and int(found.group(1)) == ids[0]
