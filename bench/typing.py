#!/usr/bin/env python3
"""Typing speed and exactness: Tarn's XTest backend against `xdotool type`.

For every run it starts its own Xvfb and openbox (so that what one typist
leaves behind cannot affect the next) and an xterm whose program writes every
byte it receives to a file (raw mode, no echo). The typist types into the
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

    def xterm(self, folder, tag):
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


def measure(desktop, folder, tag, command, text, timeout):
    child, out = desktop.xterm(folder, tag)
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
            typists = [("tarn", [args.driver, path]),
                       ("xdotool", ["xdotool", "type", "--delay", "0", text])]
            for typist, command in typists:
                for run in range(args.runs):
                    tag = "%s-%d-%d" % (typist, len(rows), run)
                    desktop = Desktop()
                    try:
                        seconds, exact, arrived = measure(desktop, folder, tag, command,
                                                          text, 60)
                    finally:
                        desktop.close()
                    rows.append((name, typist, len(text), arrived, seconds, exact))
                    print("%-20s %-8s run %d: %5d/%5d chars  %7.3f s  %8.0f chars/s  %s"
                          % (name, typist, run + 1, arrived, len(text), seconds,
                             len(text) / seconds if seconds > 0 else 0,
                             "exact" if exact else "NOT exact"), flush=True)

    print("\nmedian of %d runs (Xvfb + openbox, xterm)" % args.runs)
    print("%-20s %-8s %8s %9s %12s %s" % ("text", "typist", "chars", "seconds", "chars/s",
                                         "exact"))
    for name, _ in texts:
        for typist in ("tarn", "xdotool"):
            runs = sorted((r for r in rows if r[0] == name and r[1] == typist),
                          key=lambda r: r[4])
            median = runs[len(runs) // 2]
            exact = "%d/%d" % (sum(1 for r in runs if r[5]), len(runs))
            print("%-20s %-8s %8d %9.3f %12.0f %s" % (name, typist, median[2], median[4],
                                                     median[2] / median[4], exact))
    return 0


if __name__ == "__main__":
    sys.exit(main())
