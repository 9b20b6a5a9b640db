#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Start-up of the tarn program beside xdotool, on one private Xvfb with
openbox, runs of the three interleaved, the median of each reported.

  tarn --batch   a macro of one line (`Wait 0`), from the start of the process
                 to its end
  tarn --check   the same file checked
  xdotool        `xdotool getactivewindow` on the same display

Each command is started through /usr/bin/time, which reports its peak
resident memory (ru_maxrss of the command alone: a child forked from this
Python process would count Python's memory in its peak). Wall time runs from
just before /usr/bin/time is started to its end; `/usr/bin/time true` is
measured the same way and given as what the measuring itself costs.

    bench/startup.py --tarn build/src/player/tarn [--runs 9] [--json FILE]

Every process started here is ended by its PID.
"""

import argparse
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

import xdesktop


def run_once(argv, env, report, timeout=60):
    """Runs argv to its end; returns (wall seconds, peak RSS in MB, exit code)."""
    start = time.monotonic()
    proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", report] + argv, env=env,
                            start_new_session=True, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    deadline = start + timeout
    while True:
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid == proc.pid:
            break
        if time.monotonic() > deadline:
            os.killpg(proc.pid, signal.SIGKILL)
            os.wait4(proc.pid, 0)
            raise RuntimeError("%s did not end within %d s" % (argv[0], timeout))
        time.sleep(0.0005)
    wall = time.monotonic() - start
    # The child is reaped by wait4; keep Popen from waiting on it again.
    proc.returncode = os.waitstatus_to_exitcode(status)
    with open(report) as f:
        # time writes a "Command exited with non-zero status" line first then.
        kilobytes = int(f.read().split()[-1])
    return wall, kilobytes / 1024.0, proc.returncode


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tarn", required=True)
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--json", help="write the runs and medians to this file")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="tarn-startup-")
    macro = os.path.join(work, "wait0.mcr")
    report = os.path.join(work, "time.out")
    with open(macro, "wb") as f:
        f.write(b"Wait 0\r\n")
    commands = [("tarn --batch", [args.tarn, "--batch", macro], 0),
                ("tarn --check", [args.tarn, "--check", macro], 0),
                ("xdotool getactivewindow", ["xdotool", "getactivewindow"], None),
                ("true", ["true"], 0)]
    runs = {name: [] for name, _, _ in commands}
    try:
        with xdesktop.Desktop("tarn-startup-home-", window_manager=True) as desktop:
            # One run of each unmeasured: the files are in the page cache for all alike.
            for name, argv, expect in commands:
                run_once(argv, desktop.env, report)
            for _ in range(args.runs):
                for name, argv, expect in commands:
                    wall, rss, code = run_once(argv, desktop.env, report)
                    if expect is not None and code != expect:
                        raise RuntimeError("%s ended with %d" % (name, code))
                    runs[name].append((wall, rss))
    finally:
        shutil.rmtree(work, ignore_errors=True)

    results = {"runs": args.runs, "macro": "Wait 0", "commands": []}
    print("median of %d runs (Xvfb + openbox)" % args.runs)
    print("%-26s %10s %10s %10s" % ("command", "ms", "max ms", "peak MB"))
    for name, _, _ in commands:
        walls = [w for w, _ in runs[name]]
        rsses = [r for _, r in runs[name]]
        row = {"command": name, "ms": round(1000 * statistics.median(walls), 1),
               "max_ms": round(1000 * max(walls), 1),
               "peak_rss_MB": round(statistics.median(rsses), 1),
               "all_ms": [round(1000 * w, 1) for w in walls]}
        results["commands"].append(row)
        print("%-26s %10.1f %10.1f %10.1f" % (name, row["ms"], row["max_ms"],
                                             row["peak_rss_MB"]))
    if args.json:
        with open(args.json, "w") as out:
            json.dump(results, out, indent=2)
            out.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
