#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Short Sends with characters off the layout, as a macro types line by line:
Tarn types each line of a text as a Send of its own (tarn_typing_driver -l)
into xterm on X11 (Xvfb with openbox), and on a headless sway with XWayland
running into foot (a Wayland program) and into xterm under XWayland. Each
line holds three characters the US layout lacks, and the lines cycle through
thirty of them (--distinct: up to 45), more than an X11 program has keycodes
to spare on X11 (19 here); under XWayland, where a spare keycode holds two,
there is room for 34. Reports the driver's milliseconds a line and whether
every byte arrived exactly.

    bench/typing_lines.py --driver BUILD/bench/tarn_typing_driver [--lines 300] [--runs 3]
                          [--distinct 30]

For every run it starts its own desktops (so that no keymap of a run before
is left) and their terminals; on sway foot is typed into first, then xterm.
Every process started here is ended by its PID.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

import xdesktop

OFF_LAYOUT = "éöüàçñßøåæ€£αβγδεζηθλμπσжзий本語ùûêëîïôœ¥§ωψφκν"


class Terminals:
    """A focused terminal for each target, on any of the desktops below."""

    def terminal(self, folder, tag, argv):
        """A focused terminal (argv, title and command to follow) writing what
        it receives to a file; returns (child, file)."""
        out = os.path.join(folder, tag + ".out")
        ready = os.path.join(folder, tag + ".ready")
        title = "tarn-lines-" + tag
        child = self.spawn(argv + ["-T", title, *(["-e"] if argv[0] == "xterm" else []),
                                   "sh", "-c",
                                   "stty raw -echo; : > '%s'; exec cat > '%s'" % (ready, out)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not xdesktop.wait_until(lambda: os.path.exists(ready), 15, 0.005):
            raise RuntimeError("%s's program did not start" % argv[0])
        if not xdesktop.wait_until(lambda: self.focus(title), 15, 0.05):
            raise RuntimeError("%s did not get the focus" % argv[0])
        return child, out


class X11WithOpenbox(Terminals, xdesktop.Desktop):
    name = "X11"
    targets = (("xterm", ["xterm", "-u8"]),)

    def __init__(self):
        super().__init__("tarn-lines-home-", window_manager=True,
                         extra_env={"LC_ALL": "C.UTF-8"})

    def focus(self, title):
        """Whether the window of that title is active, activating it first."""
        run = lambda *argv: subprocess.run(["xdotool", *argv], env=self.env,
                                           capture_output=True, text=True, timeout=30)
        run("search", "--name", "^%s$" % title, "windowactivate", "--sync")
        return run("getactivewindow", "getwindowname").stdout.strip() == title


class SwayWithXWayland(Terminals, xdesktop.SwayDesktop):
    name = "sway"
    xwayland = True
    targets = (("foot", ["foot"]), ("xterm", ["xterm", "-u8"]))

    def __init__(self):
        super().__init__("tarn-lines-home-", extra_env={"LC_ALL": "C.UTF-8"})


def one(desktop, driver, folder, tag, argv, text_file, expected):
    child, out = desktop.terminal(folder, tag, argv)
    try:
        typed = subprocess.run([driver, "-l", text_file], env=desktop.env, capture_output=True,
                               text=True, timeout=300)
        xdesktop.wait_until(lambda: os.path.getsize(out) >= len(expected), 15, 0.01)
        with open(out, "rb") as f:
            arrived = f.read()
    finally:
        desktop.end(child)
    if typed.returncode != 0:
        return None, False, typed.stderr.strip()
    # "S.SSSS s, M.MM ms a line"
    ms = float(typed.stdout.split(",")[1].split()[0])
    return ms, arrived == expected, ""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--driver", required=True)
    parser.add_argument("--lines", type=int, default=300)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--distinct", type=int, default=30, choices=range(3, len(OFF_LAYOUT) + 1),
                        metavar="3..%d" % len(OFF_LAYOUT))
    args = parser.parse_args()
    driver = os.path.abspath(args.driver)
    cycle = OFF_LAYOUT[:args.distinct]
    lines = []
    for n in range(args.lines):
        lines.append("l%d %s" % (n, "".join(cycle[(n * 3 + k) % len(cycle)] for k in range(3))))
    expected = "".join(line + "\r" for line in lines).encode("utf-8")
    folder = tempfile.mkdtemp(prefix="tarn-lines-")
    text_file = os.path.join(folder, "lines.txt")
    with open(text_file, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    os.chmod(folder, 0o755)
    figures = {}
    try:
        for run in range(args.runs):
            for kind in (X11WithOpenbox, SwayWithXWayland):
                with kind() as desktop:
                    for name, argv in desktop.targets:
                        target = "%s %s" % (desktop.name, name)
                        ms, exact, error = one(desktop, driver, folder,
                                               "%s%s%d" % (desktop.name, name, run), argv,
                                               text_file, expected)
                        figures.setdefault(target, []).append(ms)
                        print("run %d %-10s %s" % (
                            run + 1, target, "failed: " + error if ms is None else
                            "%.2f ms a line, %s" % (ms, "exact" if exact else "NOT EXACT")),
                            flush=True)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    for name, values in figures.items():
        got = sorted(v for v in values if v is not None)
        if got:
            print("%-10s median %.2f ms a line (%s)" % (name, got[len(got) // 2],
                                                         ", ".join("%.2f" % v for v in got)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
