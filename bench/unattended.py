#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Unattended runs of the tarn program on a private Xvfb with openbox.

  typing  one run of a macro that types into an xterm (raw mode, no echo, its
          program writing what it receives to a file): 200 Send lines each
          holding one character off the US layout (ten distinct ones, so the
          first use of each is in the figure), then the same 200 lines in
          ASCII. Milliseconds a line for each half, from the arrival of the
          bytes of the first line to those of the last line of the half
          (the output file is polled every millisecond). Target: under 5 ms
          a line off the layout.
  stop    `tarn --batch` on a macro that waits (`Wait 600`) or types into the
          xterm (a `Send` of 50,000 characters): the Pause key is pressed
          through XTEST from this script, and the clock runs from the server's
          answer to the press (XSync) to the line tarn writes on standard
          error at the end of the run; the end of the process is given as
          well. Target: under 100 ms to the end of the run.

With --sway the typing figure is taken on a headless sway instead, foot
for xterm (the Pause key stops nothing on Wayland).

Every process started here is ended by its PID.

    bench/unattended.py --tarn build/src/player/tarn [--runs 5] [--typing-only] [--sway]
"""

import argparse
import ctypes
import os
import statistics
import subprocess
import sys
import tempfile
import time

import xdesktop

OFF_LAYOUT = "éàüßøæ€αжñ"


class Desktop(xdesktop.Desktop):
    def __init__(self):
        super().__init__("tarn-unattended-home-", window_manager=True,
                         extra_env={"LC_ALL": "C.UTF-8",
                                    "DBUS_SESSION_BUS_ADDRESS": "disabled:"})

    def xterm(self, folder, title):
        """A focused xterm writing what it receives to a file; returns the file."""
        out = os.path.join(folder, title + ".out")
        ready = os.path.join(folder, title + ".ready")
        self.spawn(["xterm", "-u8", "-T", title, "-e", "sh", "-c",
                    "stty raw -echo; : > '%s'; exec cat > '%s'" % (ready, out)],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not xdesktop.wait_until(lambda: os.path.exists(ready), 15, 0.005):
            raise RuntimeError("xterm's program did not start")
        return out


class SwayDesktop(xdesktop.SwayDesktop):
    def __init__(self):
        super().__init__("tarn-unattended-home-",
                         extra_env={"LC_ALL": "C.UTF-8",
                                    "DBUS_SESSION_BUS_ADDRESS": "disabled:"})

    def xterm(self, folder, title):
        """A foot writing what it receives to a file; returns the file."""
        out = os.path.join(folder, title + ".out")
        ready = os.path.join(folder, title + ".ready")
        self.spawn(["foot", "-T", title, "sh", "-c",
                    "stty raw -echo; : > '%s'; exec cat > '%s'" % (ready, out)],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not xdesktop.wait_until(lambda: os.path.exists(ready), 15, 0.005):
            raise RuntimeError("foot's program did not start")
        return out


class Keys:
    """Presses keys through XTEST on a connection of this script."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        self.dpy = self.x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open " + display)

    def tap(self, keysym):
        """Presses and releases the key; returns the time the server had the press."""
        keycode = self.x11.XKeysymToKeycode(self.dpy, keysym)
        self.xtst.XTestFakeKeyEvent(self.dpy, keycode, 1, 0)
        self.x11.XSync(self.dpy, 0)
        pressed = time.monotonic()
        self.xtst.XTestFakeKeyEvent(self.dpy, keycode, 0, 0)
        self.x11.XSync(self.dpy, 0)
        return pressed

    def close(self):
        self.x11.XCloseDisplay(self.dpy)


def write(path, text):
    with open(path, "wb") as f:
        f.write(text.encode("utf-8"))


def typing(desktop, tarn, folder):
    title = "tarn-bench-typing-%d" % time.monotonic_ns()
    out = desktop.xterm(folder, title)
    lines = ["SetFocus %s,2" % title]
    off = ["Send ab%s" % OFF_LAYOUT[i % len(OFF_LAYOUT)] for i in range(200)]
    ascii_lines = ["Send abc"] * 200
    macro = os.path.join(folder, "typing.mcr")
    write(macro, "\r\n".join(lines + off + ascii_lines) + "\r\n")
    sizes = []  # cumulative bytes after each Send line
    total = 0
    for line in off + ascii_lines:
        total += len(line[5:].encode("utf-8"))
        sizes.append(total)
    child = desktop.spawn([tarn, macro], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    marks = {}
    wanted = {"first": sizes[0], "off": sizes[199], "ascii_first": sizes[200],
              "ascii": sizes[399]}
    deadline = time.monotonic() + 120
    while len(marks) < len(wanted) and time.monotonic() < deadline:
        size = os.path.getsize(out)
        now = time.monotonic()
        for name, bytes_ in wanted.items():
            if name not in marks and size >= bytes_:
                marks[name] = now
        time.sleep(0.001)
    child.wait(60)
    desktop.end(child)
    with open(out, "rb") as f:
        exact = f.read().decode("utf-8") == "".join(l[5:] for l in off + ascii_lines)
    if len(marks) < len(wanted):
        raise RuntimeError("not every line arrived")
    return ((marks["off"] - marks["first"]) * 1000 / 199,
            (marks["ascii"] - marks["off"]) * 1000 / 200, exact)


def stop(desktop, keys, tarn, folder, kind):
    trace = os.path.join(folder, "stop-%s.trace" % kind)
    macro = os.path.join(folder, "stop-%s.mcr" % kind)
    if kind == "wait":
        write(macro, "Rem bench\r\nWait 600\r\n")
        out = None
    else:
        out = desktop.xterm(folder, "tarn-bench-stop-%d" % time.monotonic_ns())
        title = os.path.basename(out)[:-4]
        write(macro, "SetFocus %s,2\r\nSend {a 10000}{b 10000}{c 10000}{d 10000}{e 10000}\r\n"
              % title)
    if os.path.exists(trace):
        os.remove(trace)
    child = desktop.spawn([tarn, "--batch", "--trace", trace, macro],
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        if kind == "wait":
            started = lambda: os.path.exists(trace) and b"Wait" in open(trace, "rb").read()
        else:
            started = lambda: os.path.exists(out) and os.path.getsize(out) > 1000
        if not xdesktop.wait_until(started, 30, 0.002):
            raise RuntimeError("the run did not get under way")
        pressed = keys.tap(0xff13)  # Pause
        line = xdesktop.read_line(child.stderr.fileno(), 10)
        ended = time.monotonic()
        status = child.wait(10)
        exited = time.monotonic()
    finally:
        desktop.end(child)
    if status != 130 or not line or "Stopped by the Pause key" not in line:
        raise RuntimeError("unexpected end: %s %r" % (status, line))
    return (ended - pressed) * 1000, (exited - pressed) * 1000


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tarn", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--typing-only", action="store_true",
                        help="only the typing figure (works with a tarn without --batch)")
    parser.add_argument("--sway", action="store_true",
                        help="the typing figure on a headless sway (implies --typing-only)")
    args = parser.parse_args()
    args.typing_only = args.typing_only or args.sway
    kind = SwayDesktop if args.sway else Desktop
    tarn = os.path.abspath(args.tarn)
    rows = {"off": [], "ascii": [], "wait_end": [], "wait_exit": [], "send_end": [],
            "send_exit": []}
    exact = 0
    with tempfile.TemporaryDirectory(prefix="tarn-unattended-") as folder:
        for run in range(args.runs):
            with kind() as desktop:
                off, ascii_, ok = typing(desktop, tarn, folder)
                rows["off"].append(off)
                rows["ascii"].append(ascii_)
                exact += ok
                if args.typing_only:
                    print("run %d: off layout %.2f ms/line, ASCII %.2f ms/line (%s)"
                          % (run + 1, off, ascii_, "exact" if ok else "NOT exact"), flush=True)
                    continue
                keys = Keys(desktop.display)
                try:
                    for kind in ("wait", "send"):
                        end, exit_ = stop(desktop, keys, tarn, folder, kind)
                        rows[kind + "_end"].append(end)
                        rows[kind + "_exit"].append(exit_)
                finally:
                    keys.close()
            print("run %d: off layout %.2f ms/line, ASCII %.2f ms/line (%s); "
                  "Pause in Wait %.1f ms to the end of the run (%.1f to exit), "
                  "in Send %.1f ms (%.1f)"
                  % (run + 1, off, ascii_, "exact" if ok else "NOT exact",
                     rows["wait_end"][-1], rows["wait_exit"][-1], rows["send_end"][-1],
                     rows["send_exit"][-1]), flush=True)
    print("\nmedian of %d runs (%s)"
          % (args.runs, "headless sway, foot" if args.sway else "Xvfb + openbox, xterm"))
    print("  Send line with one character off the layout: %6.2f ms  (target < 5)"
          % statistics.median(rows["off"]))
    print("  Send line in ASCII:                          %6.2f ms" % statistics.median(rows["ascii"]))
    print("  text exact in the terminal: %d/%d runs" % (exact, args.runs))
    if args.typing_only:
        return 0
    print("  Pause during Wait -> end of run:  %6.1f ms (process exit %.1f)  (target < 100)"
          % (statistics.median(rows["wait_end"]), statistics.median(rows["wait_exit"])))
    print("  Pause during Send -> end of run:  %6.1f ms (process exit %.1f)  (target < 100)"
          % (statistics.median(rows["send_end"]), statistics.median(rows["send_exit"])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
