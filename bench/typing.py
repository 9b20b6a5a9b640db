#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Typing speed and exactness: Tarn's XTest backend against `xdotool type` on
X11, and Tarn's virtual keyboard on sway, in the same run.

For every run it starts its own desktop, Xvfb and openbox or a headless sway
(so that what one typist leaves behind cannot affect the next), and a terminal
(xterm; foot on sway) whose program writes every byte it receives to a file
(raw mode, no echo). The typist types into the
focused xterm; the clock runs from the start of the typing command until the
last byte has arrived (or, for text that never arrives in full, until the
typist has ended and nothing more arrived for a second). Reports seconds,
characters per second and whether what arrived is exactly what was sent.

    bench/typing.py --driver BUILD/bench/tarn_typing_driver [--runs 3]

Texts: (a) 2,000 random printable ASCII characters; (b) 500 characters of
which a third are not on the US layout (accented Latin, Greek, Cyrillic,
symbols: more distinct ones than the server has spare keycodes).
Every process started here is ended by its PID.
"""

import argparse
import json
import os
import random
import subprocess
import sys
import tempfile
import time

import xdesktop

NOT_ON_LAYOUT = ("éèêëàâäîïôöùûüçñßøåæœ€£¥©®°±µ¶§"
                 "αβγδεζηθλμπσφψωΩΣΔ"
                 "жзийклмнпфцчшщЖЗИЙ")


def text_ascii(rng, length=2000):
    return "".join(chr(rng.randrange(0x20, 0x7F)) for _ in range(length))


def text_mixed(rng, length=500):
    chars = []
    for i in range(length):
        if i % 3 == 1:
            chars.append(rng.choice(NOT_ON_LAYOUT))
        else:
            chars.append(chr(rng.randrange(0x21, 0x7F)))
    return "".join(chars)


class Desktop(xdesktop.Desktop):
    """Xvfb + openbox, ended by PID."""

    def __init__(self):
        super().__init__("tarn-typing-home-", window_manager=True,
                         extra_env={"LC_ALL": "C.UTF-8"})

    name = "X11"

    def terminal(self, folder, tag):
        """A focused xterm writing what it receives to a file; returns (child, file)."""
        out = os.path.join(folder, tag + ".out")
        ready = os.path.join(folder, tag + ".ready")
        title = "tarn-typing-" + tag
        child = self.spawn(["xterm", "-u8", "-T", title, "-e", "sh", "-c",
                            "stty raw -echo; : > '%s'; exec cat > '%s'" % (ready, out)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        found = subprocess.run(
            ["xdotool", "search", "--sync", "--onlyvisible", "--name", "^%s$" % title],
            env=self.env, capture_output=True, text=True, timeout=15)
        window = found.stdout.split()[0]
        if not xdesktop.wait_until(lambda: os.path.exists(ready), 15, 0.005):
            raise RuntimeError("xterm's program did not start")
        # The window manager may not have taken the window on yet: ask again
        # until the xterm is the active window.
        def active():
            subprocess.run(["xdotool", "windowactivate", window], env=self.env,
                           capture_output=True, timeout=5)
            now = subprocess.run(["xdotool", "getactivewindow"], env=self.env,
                                 capture_output=True, text=True, timeout=5)
            return now.stdout.strip() == window
        if not xdesktop.wait_until(active, 15, 0.05):
            raise RuntimeError("the xterm did not become active")
        return child, out


class SwayDesktop(xdesktop.SwayDesktop):
    """A headless sway, ended by PID."""

    name = "sway"

    def __init__(self):
        super().__init__("tarn-typing-home-", extra_env={"LC_ALL": "C.UTF-8"})

    def terminal(self, folder, tag):
        """A focused foot writing what it receives to a file; returns (child, file)."""
        out = os.path.join(folder, tag + ".out")
        ready = os.path.join(folder, tag + ".ready")
        title = "tarn-typing-" + tag
        child = self.spawn(["foot", "-T", title, "sh", "-c",
                            "stty raw -echo; : > '%s'; exec cat > '%s'" % (ready, out)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not xdesktop.wait_until(lambda: os.path.exists(ready), 15, 0.005):
            raise RuntimeError("foot's program did not start")
        # sway focuses a new window; ask for it all the same.
        def focused():
            self.swaymsg('[title="^%s$"]' % title, "focus")
            return self.focused_title() == title
        if not xdesktop.wait_until(focused, 15, 0.05):
            raise RuntimeError("foot did not get the focus")
        return child, out

    def focused_title(self):
        tree = self.swaymsg("-t", "get_tree")

        def walk(node):
            if node.get("focused"):
                return node.get("name") or ""
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                found = walk(child)
                if found:
                    return found
            return ""
        return walk(json.loads(tree)) if tree else ""


def measure(desktop, folder, tag, command, text, timeout):
    child, out = desktop.terminal(folder, tag)
    expected = text.encode("utf-8")
    start = time.monotonic()
    typist = subprocess.Popen(command, env=desktop.env, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
    last_size, last_change = 0, start
    deadline = start + timeout
    while time.monotonic() < deadline:
        size = os.path.getsize(out)
        now = time.monotonic()
        if size != last_size:
            last_size, last_change = size, now
        if size >= len(expected) and typist.poll() is not None:
            break
        # A typist that has finished and whose text stopped arriving has lost some.
        if typist.poll() is not None and now - last_change > 1.0:
            break
        time.sleep(0.002)
    finished = time.monotonic()
    if typist.poll() is None:
        typist.kill()
    typist.wait()
    with open(out, "rb") as f:
        arrived = f.read()
    desktop.end(child)
    # Exact text: until its last byte arrived. Otherwise until giving up.
    seconds = (last_change if arrived == expected else finished) - start
    return seconds, arrived == expected, len(arrived.decode("utf-8", "replace"))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--driver", required=True, help="path of tarn_typing_driver")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--seed", type=int, default=20240)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    texts = [("(a) ASCII", text_ascii(rng)), ("(b) 1/3 off layout", text_mixed(rng))]
    rows = []
    with tempfile.TemporaryDirectory(prefix="tarn-typing-") as folder:
        for name, text in texts:
            path = os.path.join(folder, "text-%d.txt" % len(rows))
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            # xdotool has no Wayland counterpart here: on sway Tarn types alone.
            typists = [(Desktop, "tarn", [args.driver, path]),
                       (Desktop, "xdotool", ["xdotool", "type", "--delay", "0", text]),
                       (SwayDesktop, "tarn", [args.driver, path])]
            for kind, typist, command in typists:
                for run in range(args.runs):
                    tag = "%s-%s-%d-%d" % (kind.name, typist, len(rows), run)
                    desktop = kind()
                    try:
                        seconds, exact, arrived = measure(desktop, folder, tag, command,
                                                          text, 60)
                    finally:
                        desktop.close()
                    rows.append((name, kind.name + " " + typist, len(text), arrived, seconds,
                                 exact))
                    print("%-20s %-12s run %d: %5d/%5d chars  %7.3f s  %8.0f chars/s  %s"
                          % (name, kind.name + " " + typist, run + 1, arrived, len(text),
                             seconds, len(text) / seconds if seconds > 0 else 0,
                             "exact" if exact else "NOT exact"), flush=True)

    print("\nmedian of %d runs (X11: Xvfb + openbox, xterm; sway: headless, foot)"
          % args.runs)
    print("%-20s %-12s %8s %9s %12s %s" % ("text", "typist", "chars", "seconds", "chars/s",
                                          "exact"))
    for name, _ in texts:
        for typist in ("X11 tarn", "X11 xdotool", "sway tarn"):
            runs = sorted((r for r in rows if r[0] == name and r[1] == typist),
                          key=lambda r: r[4])
            median = runs[len(runs) // 2]
            exact = "%d/%d" % (sum(1 for r in runs if r[5]), len(runs))
            print("%-20s %-12s %8d %9.3f %12.0f %s" % (name, typist, median[2], median[4],
                                                     median[2] / median[4], exact))
    return 0


if __name__ == "__main__":
    sys.exit(main())
