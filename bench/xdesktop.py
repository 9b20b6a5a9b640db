# SPDX-License-Identifier: GPL-3.0-or-later
"""A private X desktop for the benchmark scripts: an Xvfb on a display number
it picks itself, optionally openbox on it, and children started there.

Every child runs in a session (and so a process group) of its own and is ended
by that group's id, never by name: other benchmarks, tests and people use the
same machine. Every wait here is bounded.

Standard library only, so that the scripts run with /usr/bin/python3.
"""

import os
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
        shutil.rmtree(self.home, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class SwayDesktop(Desktop):
    """A headless sway (Wayland, no XWayland) with a home of its own, and
    children started there, ended as Desktop's are.

    sway refuses to run as root: as root it runs as the unprivileged user
    65534 in a runtime folder of its own, and children reach its socket by
    path. env is what children get: WAYLAND_DISPLAY, SWAYSOCK,
    QT_QPA_PLATFORM=wayland, no DISPLAY, no session bus, private HOME and XDG
    folders, plus the caller's extra_env.
    """

    def _start(self, screen, window_manager, extra_env):
        # A sway has no screen argument or window manager to add.
        run = os.path.join(self.home, "sway")
        os.mkdir(run)
        config = os.path.join(run, "config")
        with open(config, "w") as f:
            f.write("output HEADLESS-1 resolution 1920x1080\nxwayland disable\n")
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
        self.env.update(NO_BUS)
        self.env.update(extra_env)

    def swaymsg(self, *args):
        return subprocess.run(["swaymsg", *args], env=self.env, capture_output=True, text=True,
                              timeout=30).stdout
