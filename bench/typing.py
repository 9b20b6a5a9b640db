#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Typing speed and exactness: Tarn's XTest backend against `xdotool type` and
a raw XTest loop of the bench's own on X11, and Tarn's virtual keyboard
against `wtype` on sway, in the same run.

For every run it starts its own desktop, Xvfb and openbox or a headless sway
(so that what one typist leaves behind cannot affect the next), and a terminal
(xterm; foot on sway) whose program writes every byte it receives to a file
(raw mode, no echo). The typist types into the
focused xterm; the clock runs from the start of the typing command until the
last byte has arrived (or, for text that never arrives in full, until the
typist has ended and nothing more arrived for a second). Reports seconds,
characters per second and whether what arrived is exactly what was sent.

    bench/typing.py --driver BUILD/bench/tarn_typing_driver \
                    --raw BUILD/bench/tarn_xtest_loop [--runs 3] [--json FILE]

Texts: (a) 4,000 random printable ASCII characters; (b) 500 characters of
which a third are not on the US layout (accented Latin, Greek, Cyrillic,
symbols: more distinct ones than the server has spare keycodes). The raw
loop (XTest, keycodes from the keymap, Shift for the shifted level, a flush
every 16 characters, no checks) types the ASCII text only: it is the limit
Tarn's (a) figure on X11 is given against, as a ratio of the medians.
Runs of the typists are interleaved, so that a change in the machine's load
falls on all of them alike.

Long texts on sway: one Send of 20,000 random ASCII characters into foot by
Tarn, and one of 200,000 when the first arrived exactly at a speed that
brings 200,000 in under a minute.
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


def text_ascii(rng, length=4000):
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


def median_row(runs):
    """The run of median time (the slower middle one of an even number)."""
    runs = sorted(runs, key=lambda r: r["seconds"])
    return runs[len(runs) // 2]


def one_run(kind, typist, command, text, folder, tag, timeout=60):
    desktop = kind()
    try:
        seconds, exact, arrived = measure(desktop, folder, tag, command, text, timeout)
    finally:
        desktop.close()
    row = {"desktop": kind.name, "typist": typist, "chars": len(text), "arrived": arrived,
           "seconds": round(seconds, 4), "chars_per_s": round(len(text) / seconds, 1)
           if seconds > 0 else 0, "exact": exact}
    print("%-8s %-8s %6d/%6d chars  %8.3f s  %8.0f chars/s  %s"
          % (kind.name, typist, arrived, len(text), seconds, row["chars_per_s"],
             "exact" if exact else "NOT exact"), flush=True)
    return row


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--driver", required=True, help="path of tarn_typing_driver")
    parser.add_argument("--raw", required=True, help="path of tarn_xtest_loop")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--seed", type=int, default=20240)
    parser.add_argument("--long", type=int, default=20000,
                        help="characters of the long Send on sway (0: none)")
    parser.add_argument("--json", help="write the runs and medians to this file")
    args = parser.parse_args()

    rng = random.Random(args.seed)
    texts = [("(a) ASCII", text_ascii(rng)), ("(b) 1/3 off layout", text_mixed(rng))]
    results = {"texts": [], "long": []}
    with tempfile.TemporaryDirectory(prefix="tarn-typing-") as folder:
        for index, (name, text) in enumerate(texts):
            path = os.path.join(folder, "text-%d.txt" % index)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            typists = [(Desktop, "tarn", [args.driver, path])]
            if text.isascii():
                typists.append((Desktop, "raw loop", [args.raw, path]))
            typists += [(Desktop, "xdotool", ["xdotool", "type", "--delay", "0", text]),
                        (SwayDesktop, "tarn", [args.driver, path]),
                        (SwayDesktop, "wtype", ["wtype", "--", text])]
            print("\n" + name, flush=True)
            runs = []
            for run in range(args.runs):
                for kind, typist, command in typists:
                    tag = "%s-%s-%d-%d" % (kind.name, typist.replace(" ", "_"), index, run)
                    runs.append(one_run(kind, typist, command, text, folder, tag))
            medians = []
            for kind, typist, _ in typists:
                mine = [r for r in runs if r["desktop"] == kind.name and r["typist"] == typist]
                row = dict(median_row(mine))
                row["exact_runs"] = sum(1 for r in mine if r["exact"])
                row["runs"] = len(mine)
                medians.append(row)
            results["texts"].append({"text": name, "chars": len(text), "runs": runs,
                                     "medians": medians})

        length = args.long
        while length:
            text = text_ascii(rng, length)
            path = os.path.join(folder, "long-%d.txt" % length)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            print("\nsway, one Send of %d characters" % length, flush=True)
            row = one_run(SwayDesktop, "tarn", [args.driver, path], text, folder,
                          "long-%d" % length, timeout=max(60, length / 100))
            results["long"].append(row)
            # The next size only when this one arrived whole and the next would
            # take under a minute at this one's speed.
            if length >= 200000 or not row["exact"] or 200000 / row["chars_per_s"] >= 60:
                if length < 200000:
                    results["long_skipped"] = (
                        "200000 not sent: %d arrived %s at %.0f chars/s"
                        % (length, "exactly" if row["exact"] else "NOT exactly",
                           row["chars_per_s"]))
                break
            length = 200000

    print("\nmedian of %d runs (X11: Xvfb + openbox, xterm; sway: headless, foot)"
          % args.runs)
    print("%-20s %-8s %-8s %8s %9s %12s %s" % ("text", "desktop", "typist", "chars",
                                              "seconds", "chars/s", "exact"))
    for entry in results["texts"]:
        for row in entry["medians"]:
            print("%-20s %-8s %-8s %8d %9.3f %12.0f %d/%d"
                  % (entry["text"], row["desktop"], row["typist"], row["chars"],
                     row["seconds"], row["chars_per_s"], row["exact_runs"], row["runs"]))
    ascii_rows = {(r["desktop"], r["typist"]): r for r in results["texts"][0]["medians"]}
    tarn, raw = ascii_rows[("X11", "tarn")], ascii_rows[("X11", "raw loop")]
    results["x11_tarn_to_raw"] = round(tarn["chars_per_s"] / raw["chars_per_s"], 3)
    print("\nX11 (a): Tarn %.0f chars/s, the raw loop %.0f: %.2fx the raw loop"
          % (tarn["chars_per_s"], raw["chars_per_s"], results["x11_tarn_to_raw"]))
    for row in results["long"]:
        print("sway long Send: %d chars, %d arrived, %.0f chars/s, %s"
              % (row["chars"], row["arrived"], row["chars_per_s"],
                 "exact" if row["exact"] else "NOT exact"))
    if "long_skipped" in results:
        print(results["long_skipped"])
    if args.json:
        with open(args.json, "w") as out:
            json.dump(results, out, indent=2)
            out.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
