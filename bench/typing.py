#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Typing speed and exactness: Tarn's XTest backend against `xdotool type` and
a raw XTest loop of the bench's own on X11, Tarn's virtual keyboard against
`wtype` on sway, Tarn's KWin backend (fake input) on KWin and its GNOME
backend (mutter's remote desktop) on GNOME Shell, in the same run.

For every run it starts its own desktop, Xvfb and openbox, a headless sway,
a headless KWin or a headless GNOME Shell (so that what one typist leaves
behind cannot affect the next), and a terminal (xterm; foot on sway and
GNOME; xterm under XWayland on KWin, where foot crashes) whose program writes
every byte it receives to a file (raw mode, no echo). The typist types into
the focused terminal; the clock runs from the start of the typing command
until the last byte has arrived, or, for text that never arrives in full,
until the typist has ended and nothing more arrived for a second (the
file's writes are waited for through inotify, not polled). Reports
seconds, characters per second and whether what arrived is exactly what was
sent.

Peers on KWin and GNOME: `xdotool type` on KWin reaches the xterm through
XWayland's XTest; `wtype` is tried on both, and a peer that ends in an
error with nothing typed is reported with its error once and not run again
on that desktop. A peer that cannot run at all here is named with why.

    bench/typing.py --driver BUILD/bench/tarn_typing_driver \
                    [--driver-x11-sway BUILD/bench/tarn_typing_driver_x11_sway] \
                    --raw BUILD/bench/tarn_xtest_loop \
                    --extension BUILD/share/gnome-shell/extensions/UUID \
                    [--runs 3] [--x11-runs 31] [--json FILE]

Texts: (a) 4,000 random printable ASCII characters; (b) 500 characters of
which a third are not on the US layout (accented Latin, Greek, Cyrillic,
symbols: more distinct ones than the server has spare keycodes). The raw
loop (XTest, keycodes from the keymap, Shift for the shifted level, a flush
every 16 characters, no checks) types the ASCII text only: it is the limit
Tarn's (a) figure on X11 is given against, as a ratio of the medians. The
two of them run --x11-runs times: a run takes a tenth of a second, and the
ratio of medians of 3 moves by a tenth from one bench to the next on a
busy machine; that of medians of 15 still moved between 0.96 and 1.08 in
sets taken one after another on an idle one.
Runs of the typists are interleaved, so that a change in the machine's load
falls on all of them alike.

Long texts on sway: one Send of 20,000 random ASCII characters into foot by
Tarn, and one of 200,000 when the first arrived exactly at a speed that
brings 200,000 in under a minute.
Every process started here is ended by its PID.
"""

import argparse
import ctypes
import json
import os
import random
import select
import shutil
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


def start_foot(desktop, folder, tag):
    """A foot on a Wayland desktop whose program writes every byte it receives
    to a file, once that program runs; returns (child, file, title)."""
    out = os.path.join(folder, tag + ".out")
    ready = os.path.join(folder, tag + ".ready")
    title = "tarn-typing-" + tag
    child = desktop.spawn(["foot", "-T", title, "sh", "-c",
                           "stty raw -echo; : > '%s'; exec cat > '%s'" % (ready, out)],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not xdesktop.wait_until(lambda: os.path.exists(ready), 15, 0.005):
        raise RuntimeError("foot's program did not start")
    return child, out, title


class SwayDesktop(xdesktop.SwayDesktop):
    """A headless sway, ended by PID."""

    name = "sway"

    def __init__(self):
        super().__init__("tarn-typing-home-", extra_env={"LC_ALL": "C.UTF-8"})

    def terminal(self, folder, tag):
        """A focused foot writing what it receives to a file; returns (child, file)."""
        child, out, title = start_foot(self, folder, tag)
        # sway focuses a new window; ask for it all the same.
        if not xdesktop.wait_until(lambda: self.focus(title), 15, 0.05):
            raise RuntimeError("foot did not get the focus")
        return child, out


class KWinDesktop(xdesktop.KWinDesktop):
    """A headless KWin, its XWayland's xterm the target; main() grants the
    driver fake input."""

    def __init__(self):
        super().__init__("tarn-typing-home-", extra_env={"LC_ALL": "C.UTF-8"})

    # KWin is XWayland's window manager: the xterm is found and activated
    # there as on X11.
    terminal = Desktop.terminal


class GnomeDesktop(xdesktop.GnomeDesktop):
    """A headless GNOME Shell with Tarn's extension (main() names it), foot
    the target."""

    def __init__(self):
        super().__init__("tarn-typing-home-", extra_env={"LC_ALL": "C.UTF-8"})

    def terminal(self, folder, tag):
        """A focused foot writing what it receives to a file; returns (child, file)."""
        child, out, title = start_foot(self, folder, tag)
        if not xdesktop.wait_until(lambda: self.focus(title), 15, 0.1):
            raise RuntimeError("foot did not get the focus")
        return child, out


DESKTOPS = (Desktop, SwayDesktop, KWinDesktop, GnomeDesktop)


class PeerError(Exception):
    """A typist that ended in an error without typing anything."""


class Writes:
    """Wakes when a file is written (inotify): the time of the last byte is
    then known to within a wake-up, with no polling that would both blur it
    and take processor time from the typist and the terminal."""

    IN_MODIFY = 0x2
    _libc = ctypes.CDLL(None, use_errno=True)

    def __init__(self, path):
        self.fd = self._libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        if self._libc.inotify_add_watch(self.fd, path.encode(), self.IN_MODIFY) < 0:
            error = ctypes.get_errno()
            os.close(self.fd)
            raise OSError(error, "inotify_add_watch " + path)

    def wait(self, seconds):
        """Until the file is written or `seconds` have passed."""
        if select.select([self.fd], [], [], seconds)[0]:
            try:
                while os.read(self.fd, 65536):
                    pass
            except BlockingIOError:
                pass

    def close(self):
        os.close(self.fd)


def measure(desktop, folder, tag, command, text, timeout):
    """(seconds, exact, characters arrived, where it differs, seconds to the
    first byte) of one typist's run."""
    child, out = desktop.terminal(folder, tag)
    expected = text.encode("utf-8")
    errors = tempfile.TemporaryFile()
    if not xdesktop.wait_until(lambda: os.path.exists(out), 15, 0.005):
        raise RuntimeError("the terminal's program opened no file")
    writes = Writes(out)
    try:
        start = time.monotonic()
        typist = subprocess.Popen(command, env=desktop.env, stdout=subprocess.PIPE,
                                  stderr=errors)
        last_size, last_change, first = 0, start, None
        deadline = start + timeout
        while time.monotonic() < deadline:
            size = os.path.getsize(out)
            now = time.monotonic()
            if size != last_size:
                last_size, last_change = size, now
                first = first or now
            if size >= len(expected) and typist.poll() is not None:
                break
            # A typist that has finished and whose text stopped arriving has lost some.
            if typist.poll() is not None and now - last_change > 1.0:
                break
            # Whether the typist has ended is looked at between writes.
            writes.wait(0.05)
        finished = time.monotonic()
    finally:
        writes.close()
    if typist.poll() is None:
        typist.kill()
    typist.wait()
    with open(out, "rb") as f:
        arrived = f.read()
    desktop.end(child)
    errors.seek(0)
    said = errors.read().decode(errors="replace").strip()
    errors.close()
    if typist.returncode != 0 and not arrived:
        raise PeerError("exit status %d%s" % (typist.returncode,
                                              ": " + said.splitlines()[-1] if said else ""))
    # Exact text: until its last byte arrived. Otherwise until giving up.
    seconds = (last_change if arrived == expected else finished) - start
    return (seconds, arrived == expected, len(arrived.decode("utf-8", "replace")),
            difference(text, arrived.decode("utf-8", "replace")), (first or finished) - start)


def difference(sent, arrived):
    """Where what arrived first differs from what was sent, in a few words
    (None when it is exact)."""
    if sent == arrived:
        return None
    at = next((i for i, (a, b) in enumerate(zip(sent, arrived)) if a != b),
              min(len(sent), len(arrived)))
    return ("from character %d: sent %r, arrived %r"
            % (at + 1, sent[at:at + 8], arrived[at:at + 8]))


def median_row(runs):
    """The run of median time (the slower middle one of an even number)."""
    runs = sorted(runs, key=lambda r: r["seconds"])
    return runs[len(runs) // 2]


def one_run(kind, typist, command, text, folder, tag, timeout=60):
    """One run's row; on failure a row with "error" (and "peer" when the
    typist itself refused, "desktop" when the desktop did not start)."""
    failed = {"desktop": kind.name, "typist": typist}
    try:
        desktop = kind()
    except (RuntimeError, OSError, subprocess.SubprocessError) as error:
        print("%-8s did not start: %s" % (kind.name, error), flush=True)
        return dict(failed, error="the desktop did not start: %s" % error, cause="desktop")
    try:
        seconds, exact, arrived, differs, _ = measure(desktop, folder, tag, command, text,
                                                      timeout)
    except PeerError as error:
        print("%-8s %-8s did not type: %s" % (kind.name, typist, error), flush=True)
        return dict(failed, error="%s did not type: %s" % (command[0] if typist != "tarn"
                                                              else "tarn", error), cause="peer")
    except (RuntimeError, OSError, subprocess.SubprocessError) as error:
        print("%-8s %-8s run failed: %s" % (kind.name, typist, error), flush=True)
        return dict(failed, error="the run failed: %s" % error, cause="run")
    finally:
        desktop.close()
    row = {"desktop": kind.name, "typist": typist, "chars": len(text), "arrived": arrived,
           "seconds": round(seconds, 4), "chars_per_s": round(len(text) / seconds, 1)
           if seconds > 0 else 0, "exact": exact}
    if differs:
        row["difference"] = differs
    print("%-8s %-8s %6d/%6d chars  %8.3f s  %8.0f chars/s  %s"
          % (kind.name, typist, arrived, len(text), seconds, row["chars_per_s"],
             "exact" if exact else "NOT exact: " + differs), flush=True)
    return row


def package_version(package):
    result = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", package],
                            capture_output=True, text=True)
    return result.stdout.strip() if result.returncode == 0 else "not installed"


def desktops():
    """What each desktop of this bench is, for the page."""
    return {
        "X11": "Xvfb %s with openbox %s; target xterm" % (package_version("xvfb"),
                                                         package_version("openbox")),
        "sway": "sway %s, headless (wlroots, pixman renderer); target foot"
                % package_version("sway"),
        "KWin": "KWin %s (Plasma), kwin_wayland --virtual, with XWayland %s; target xterm "
                "under XWayland (foot crashes on this KWin); Tarn through "
                "org_kde_kwin_fake_input, granted by a desktop file; xdotool through "
                "XWayland's XTest, which reaches X11 programs only"
                % (package_version("kwin-wayland"), package_version("xwayland")),
        "GNOME": "GNOME Shell %s (mutter %s), --headless --virtual-monitor, no XWayland, "
                 "with Tarn's Shell extension; target foot; Tarn through "
                 "org.gnome.Mutter.RemoteDesktop"
                 % (package_version("gnome-shell"), package_version("libmutter-11-0")),
    }


def peers_absent():
    """Peers that cannot run on this machine at all, and why."""
    notes = []
    if not os.path.exists("/dev/uinput"):
        notes.append("ydotool (the peer that types on any Wayland desktop, KWin and GNOME "
                     "included) writes to /dev/uinput, which does not exist on this machine "
                     "(the kernel has no uinput)%s"
                     % ("" if shutil.which("ydotool") else "; it is not installed either"))
    notes.append("xdotool on GNOME: the GNOME session runs without XWayland (as Tarn's tests "
                 "run it), so xdotool has no X server there; it would reach only X11 programs")
    return notes


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--driver", required=True, help="path of tarn_typing_driver")
    parser.add_argument("--driver-x11-sway",
                        help="path of tarn_typing_driver_x11_sway, which types on X11 and "
                             "sway without loading the other desktops' libraries (default: "
                             "--driver there too)")
    parser.add_argument("--raw", required=True, help="path of tarn_xtest_loop")
    parser.add_argument("--extension", required=True,
                        help="Tarn's Shell extension as the build stages it")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--x11-runs", type=int, default=31,
                        help="runs of Tarn and the raw loop on X11")
    parser.add_argument("--seed", type=int, default=20240)
    parser.add_argument("--long", type=int, default=20000,
                        help="characters of the long Send on sway (0: none)")
    parser.add_argument("--json", help="write the runs and medians to this file")
    args = parser.parse_args()
    # KWin grants fake input to the program a desktop file names by its
    # absolute path, as Tarn's package names tarn.
    KWinDesktop.granted = [os.path.realpath(args.driver)]
    lean = args.driver_x11_sway or args.driver
    GnomeDesktop.extension = os.path.abspath(args.extension)

    rng = random.Random(args.seed)
    texts = [("(a) ASCII", text_ascii(rng)), ("(b) 1/3 off layout", text_mixed(rng))]
    results = {"texts": [], "long": [], "desktops": desktops(),
               "peers_absent": peers_absent()}
    # A peer that refused, or a desktop that did not start, is not tried again.
    given_up = {}
    with tempfile.TemporaryDirectory(prefix="tarn-typing-") as folder:
        for index, (name, text) in enumerate(texts):
            path = os.path.join(folder, "text-%d.txt" % index)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            typists = [(Desktop, "tarn", [lean, path])]
            if text.isascii():
                typists.append((Desktop, "raw loop", [args.raw, path]))
            typists += [(Desktop, "xdotool", ["xdotool", "type", "--delay", "0", text]),
                        (SwayDesktop, "tarn", [lean, path]),
                        (SwayDesktop, "wtype", ["wtype", "--", text]),
                        (KWinDesktop, "tarn", [args.driver, path]),
                        (KWinDesktop, "xdotool", ["xdotool", "type", "--delay", "0", text]),
                        (KWinDesktop, "wtype", ["wtype", "--", text]),
                        (GnomeDesktop, "tarn", [args.driver, path]),
                        (GnomeDesktop, "wtype", ["wtype", "--", text])]
            print("\n" + name, flush=True)
            runs = []
            for run in range(max(args.runs, args.x11_runs)):
                for kind, typist, command in typists:
                    if (kind.name, typist) in given_up or (kind.name, None) in given_up:
                        continue
                    x11_pair = kind is Desktop and typist in ("tarn", "raw loop")
                    if run >= (args.x11_runs if x11_pair else args.runs):
                        continue
                    tag = "%s-%s-%d-%d" % (kind.name, typist.replace(" ", "_"), index, run)
                    row = one_run(kind, typist, command, text, folder, tag)
                    if row.get("cause") == "peer":
                        given_up[(kind.name, typist)] = row["error"]
                    elif row.get("cause") == "desktop":
                        given_up[(kind.name, None)] = row["error"]
                    runs.append(row)
            medians = []
            for kind, typist, _ in typists:
                mine = [r for r in runs if r["desktop"] == kind.name and r["typist"] == typist]
                good = [r for r in mine if "error" not in r]
                if not good:
                    reason = (mine[0]["error"] if mine else given_up.get(
                        (kind.name, typist), given_up.get((kind.name, None), "not run")))
                    medians.append({"desktop": kind.name, "typist": typist, "chars": len(text),
                                    "error": reason})
                    continue
                row = dict(median_row(good))
                row["exact_runs"] = sum(1 for r in good if r["exact"])
                row["runs"] = len(good)
                if len(good) < len(mine):
                    row["failed_runs"] = [r["error"] for r in mine if "error" in r]
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
            row = one_run(SwayDesktop, "tarn", [lean, path], text, folder,
                          "long-%d" % length, timeout=max(60, length / 100))
            if "error" in row:
                results["long_skipped"] = "%d not measured: %s" % (length, row["error"])
                break
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

    print("\nmedian of %d runs, %d of Tarn and the raw loop on X11 (X11: Xvfb + openbox, "
          "xterm; sway: headless, foot; KWin: headless, xterm under XWayland; GNOME: "
          "headless, foot)" % (args.runs, args.x11_runs))
    print("%-20s %-8s %-8s %8s %9s %12s %s" % ("text", "desktop", "typist", "chars",
                                              "seconds", "chars/s", "exact"))
    for entry in results["texts"]:
        for row in entry["medians"]:
            if "error" in row:
                print("%-20s %-8s %-8s %s" % (entry["text"], row["desktop"], row["typist"],
                                              row["error"]))
                continue
            print("%-20s %-8s %-8s %8d %9.3f %12.0f %d/%d"
                  % (entry["text"], row["desktop"], row["typist"], row["chars"],
                     row["seconds"], row["chars_per_s"], row["exact_runs"], row["runs"]))
    for note in results["peers_absent"]:
        print("not run: " + note)
    ascii_rows = {(r["desktop"], r["typist"]): r for r in results["texts"][0]["medians"]}
    tarn, raw = ascii_rows[("X11", "tarn")], ascii_rows[("X11", "raw loop")]
    if "error" not in tarn and "error" not in raw:
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
