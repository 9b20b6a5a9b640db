#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""X11 typing only, beside the raw XTest loop, with many runs: for comparing
builds of the typing driver (before and after a change) where bench/typing.py
takes too long for the runs the noise of a busy machine needs.

    bench/typing_x11.py --raw BUILD/bench/tarn_xtest_loop [--runs 15] \
                        DRIVER [DRIVER ...]

Each run of each typist starts its own Xvfb, openbox and xterm, as
bench/typing.py does, and types the same 4,000 ASCII characters (its text
(a)); typists take turns within a run. Reports, as medians against the raw
loop's: characters a second from the start of the typist to the last byte's
arrival (what bench/typing.py reports), the same from the first byte's
arrival, and when the first byte arrived. A target that handles its first
keys late shows as a late first byte and a high rate after it.
"""
import argparse
import importlib.util
import os
import random
import statistics
import sys
import tempfile

# bench/typing.py by its path: its name is the standard module's, which the
# bench's folder must not hide (its helpers are found at the end of the path).
_here = os.path.dirname(os.path.abspath(__file__))
sys.path.append(_here)
_spec = importlib.util.spec_from_file_location("typing_bench", os.path.join(_here, "typing.py"))
typing_bench = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(typing_bench)


def one_run(command, text, folder, tag):
    """(seconds to the last byte, seconds to the first, exact) of one run."""
    desktop = typing_bench.Desktop()
    try:
        seconds, exact, _, _, first = typing_bench.measure(desktop, folder, tag, command, text,
                                                           30)
        return seconds, first, exact
    finally:
        desktop.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--raw", required=True, help="path of tarn_xtest_loop")
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("drivers", nargs="+", help="builds of tarn_typing_driver")
    args = parser.parse_args()
    text = typing_bench.text_ascii(random.Random(20240))
    typists = args.drivers + [args.raw]
    rows = {typist: [] for typist in typists}
    with tempfile.TemporaryDirectory(prefix="tarn-typing-x11-") as folder:
        path = os.path.join(folder, "text.txt")
        with open(path, "w", encoding="ascii") as f:
            f.write(text)
        for run in range(args.runs):
            for index, typist in enumerate(typists):
                rows[typist].append(one_run([typist, path], text, folder,
                                            "r%d-%d" % (run, index)))

    def medians(runs):
        return (len(text) / statistics.median(r[0] for r in runs),
                len(text) / statistics.median(r[0] - r[1] for r in runs),
                1000 * statistics.median(r[1] for r in runs))

    raw_total, raw_after_first, _ = medians(rows[args.raw])
    print("%d runs, %d characters; medians, and against the raw loop" % (args.runs, len(text)))
    for typist in typists:
        total, after_first, first_ms = medians(rows[typist])
        exact = sum(r[2] for r in rows[typist])
        print("%-50s %6.0f chars/s (%.2fx)  after the first byte %6.0f (%.2fx)  "
              "first byte %5.1f ms  exact %d/%d"
              % (typist[-50:], total, total / raw_total, after_first,
                 after_first / raw_after_first, first_ms, exact, args.runs))


if __name__ == "__main__":
    main()
