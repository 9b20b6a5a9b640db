#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Opening a large macro: the editor beside FeatherPad, on a private Xvfb with
openbox, runs of the two interleaved, the median of each reported.

  window  from the start of the program to its first window shown on the screen
          (xdotool finds a visible window of the process).
  idle    from the start of the program to the last moment its processor time
          grew before it stood still for 0.3 s: loaded, painted and done.
  rss     its resident memory once idle, and the growth over the same program
          idle with a one-line file (what the file costs).

Both programs are started with the file on their command line: the editor
through tarn_editor_open_driver (the window shown, then the file opened, as
the player's Macro New / Edit does), FeatherPad as `featherpad FILE`. The
files are macro-like lines of about 35 bytes with CR LF line ends.

    bench/editor_open.py --driver build/bench/tarn_editor_open_driver \\
                         [--sizes 1 4 10] [--runs 3] [--json FILE]

Every process started here is ended by its PID.
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import tempfile
import time

import xdesktop

LINES = [b"SetFocus \"Untitled - Notepad\"", b"Send \"Hello, world{ENTER}\"", b"Wait 1",
         b"Rem a comment line of a length that macros often have", b"xtermID = Run \"xterm\""]
TICK = os.sysconf("SC_CLK_TCK")


def write_macro(path, megabytes):
    size = int(megabytes * 1024 * 1024)
    with open(path, "wb") as out:
        written = 0
        i = 0
        while True:
            line = LINES[i % len(LINES)] + b"\r\n"
            if written + len(line) > size:
                break
            out.write(line)
            written += len(line)
            i += 1


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def visible_window(desktop, pid):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                            env=desktop.env, capture_output=True, text=True, timeout=10)
    return bool(result.stdout.strip())


def measure(desktop, argv, timeout=60, still=0.3):
    """Starts argv; returns (window s, idle s, rss MB) and ends it."""
    start = time.monotonic()
    proc = desktop.spawn(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        window = None
        last_cpu = -1.0
        last_change = start
        while time.monotonic() - start < timeout:
            now = time.monotonic()
            if window is None and visible_window(desktop, proc.pid):
                window = now - start
            cpu = cpu_seconds(proc.pid)
            if cpu != last_cpu:
                last_cpu = cpu
                last_change = now
            elif window is not None and now - last_change >= still:
                return window, last_change - start, rss_mb(proc.pid)
            time.sleep(0.01)
        raise RuntimeError("%s did not settle within %d s" % (argv[0], timeout))
    finally:
        desktop.end(proc)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--driver", required=True)
    parser.add_argument("--peer", default="featherpad")
    parser.add_argument("--sizes", type=float, nargs="+", default=[1, 4, 10])
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--json")
    args = parser.parse_args()
    folder = tempfile.mkdtemp(prefix="tarn-editor-open-")
    programs = {"tarn": [os.path.abspath(args.driver)], "peer": [args.peer]}
    results = {}
    try:
        with xdesktop.Desktop("tarn-editor-open-", window_manager=True) as desktop:
            tiny = os.path.join(folder, "tiny.mcr")
            write_macro(tiny, 0.0001)
            base = {name: statistics.median(measure(desktop, argv + [tiny])[2]
                                            for _ in range(args.runs))
                    for name, argv in programs.items()}
            for size in args.sizes:
                path = os.path.join(folder, "macro%g.mcr" % size)
                write_macro(path, size)
                runs = {name: [] for name in programs}
                for _ in range(args.runs):
                    for name, argv in programs.items():
                        runs[name].append(measure(desktop, argv + [path]))
                for name, values in runs.items():
                    window, idle, rss = (statistics.median(v) for v in zip(*values))
                    results.setdefault(name, {})["%g MiB" % size] = {
                        "window_s": round(window, 3), "idle_s": round(idle, 3),
                        "rss_MB": round(rss, 1), "growth_MB": round(rss - base[name], 1)}
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    peer = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", "featherpad"],
                          capture_output=True, text=True).stdout
    results["peer_version"] = "FeatherPad " + peer
    text = json.dumps(results, indent=2)
    print(text)
    if args.json:
        with open(args.json, "w") as out:
            out.write(text + "\n")


if __name__ == "__main__":
    main()
