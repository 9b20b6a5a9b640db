#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Measures whether the test suite catches faults: plants single-line faults
in src/ one at a time, rebuilds, runs the tests that cover the changed library
and reports which faults the suite caught and which it missed.

    scripts/mutants.py [--count N] [--seed S] [--minutes M] [--list]

The faults are chosen from the source as it is, by a seeded random order, so
the same tree and seed give the same set: flipped comparisons, dropped calls,
constants changed by one, boolean returns inverted and the two arguments of a
call swapped. A fault that does not compile is passed over for the next one.

Works in a worktree of its own (build-mutants/), never in the checkout: the
tree you are editing is left as it is. Exit status 0 whatever was missed; the
report is the result.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# Which CTest labels cover the code under each folder of src/. The acceptance
# tests (e2e) run the real program and reach everything, but they are the
# slowest: they are asked only where nothing lighter covers the code.
LABELS = [
    ("src/platform/x11/", ["desktop", "e2e"]),
    ("src/platform/wayland/", ["desktop"]),
    # The typing engine and the keysyms every desktop types with; the
    # recorder's round trip is e2e.
    ("src/platform/xkb/", ["desktop", "e2e"]),
    ("src/platform/linux/", ["gui", "e2e"]),
    ("src/platform/posix/", ["platform", "e2e"]),
    ("src/platform/gio/", ["platform"]),
    ("src/platform/", ["unit", "platform"]),
    ("src/interpreter/", ["unit"]),
    ("src/common/", ["common", "gui"]),
    ("src/editor/", ["editor"]),
    ("src/player/", ["gui", "e2e"]),
]

COMPARISONS = [(" < ", " >= "), (" >= ", " < "), (" > ", " <= "), (" <= ", " > "),
               (" == ", " != "), (" != ", " == "), (" && ", " || "), (" || ", " && ")]


def labels_for(path):
    for prefix, labels in LABELS:
        if path.startswith(prefix):
            return labels
    return ["unit"]


def source_text(path, rev):
    """A file as it is, or as it was at a git revision."""
    if rev is None:
        return (ROOT / path).read_text(errors="replace")
    return subprocess.run(["git", "show", "%s:%s" % (rev, path)], cwd=ROOT, check=True,
                          capture_output=True, text=True, errors="replace").stdout


def code_lines(lines):
    """(number, text) of the lines worth mutating: no comments, preprocessor
    lines, string-heavy lines or declarations of tables."""
    for number, line in enumerate(lines, 1):
        stripped = line.strip()
        if (not stripped or stripped.startswith(("//", "#", "*", "/*", "static_assert"))
                or '"' in stripped or "'" in stripped or "template" in stripped
                or "operator" in stripped):
            continue
        yield number, line


def candidates(path, rev=None):
    """Every fault that can be planted in one file, as (line, kind, new text,
    the line it replaces)."""
    found = []
    lines = source_text(path, rev).splitlines()
    for number, line in code_lines(lines):
        stripped = line.strip()
        for old, new in COMPARISONS:
            if old in line:
                found.append((number, "flip " + old.strip(), line.replace(old, new, 1)))
                break
        constant = re.search(r"(?<![\w.])([1-9][0-9]{0,5})(?![\w.])", line)
        if constant and not stripped.startswith(("case ", "enum")) and "[" not in line:
            value = int(constant.group(1))
            found.append((number, "constant %d -> %d" % (value, value + 1),
                          line[:constant.start(1)] + str(value + 1) + line[constant.end(1):]))
        if re.fullmatch(r"return (true|false);", stripped):
            other = "false" if "true" in stripped else "true"
            found.append((number, "return " + other, line.replace(stripped, "return %s;" % other)))
        # A whole statement that is a single call: dropped.
        if (re.fullmatch(r"[A-Za-z_][\w:.>-]*\([^;{}]*\);", stripped)
                and stripped.count("(") == stripped.count(")")
                and not stripped.startswith(("return", "throw", "delete"))):
            indent = line[:len(line) - len(line.lstrip())]
            found.append((number, "drop call", indent + "(void)0;  // dropped: " + stripped))
        swap = re.search(r"\b(\w+)\(([A-Za-z_]\w*), ([A-Za-z_]\w*)\)", line)
        if swap and swap.group(2) != swap.group(3) and swap.group(1) not in (
                "if", "while", "for", "switch", "sizeof", "static_cast", "max", "min"):
            found.append((number, "swap arguments of " + swap.group(1),
                          line[:swap.start(2)] + swap.group(3) + ", " + swap.group(2)
                          + line[swap.end(3):]))
        if re.match(r"\s*(if|while) \(", line) and line.rstrip().endswith("{"):
            indent = line[:len(line) - len(line.lstrip())]
            found.append((number, "negate condition",
                          re.sub(r"(if|while) \((.*)\) \{$", r"\1 (!(\2)) {", line.rstrip())))
    return [(number, kind, text, lines[number - 1]) for number, kind, text in found]


def all_candidates(rev=None):
    """The candidates by folder, from the tree as it is or as it was at rev:
    the same rev gives the same faults however the tree has changed since."""
    listing = (["git", "ls-files", "src/*.cpp"] if rev is None else
               ["git", "ls-tree", "-r", "--name-only", rev, "src"])
    sources = [path for path in subprocess.run(listing, cwd=ROOT, check=True,
                                               capture_output=True, text=True).stdout.split()
               if path.endswith(".cpp")]
    by_folder = {}
    for path in sources:
        # The fakes serve only the tests, and the icons are drawings.
        if "/fake/" in path or "/icons/" in path or path.endswith("main.cpp"):
            continue
        for number, kind, text, was in candidates(path, rev):
            by_folder.setdefault(str(Path(path).parent), []).append(
                (path, number, kind, text, was))
    return by_folder


def ordered(by_folder, seed):
    """The candidates of every folder shuffled by the seed, then taken in turn
    from each folder so that the faults spread over all of src/."""
    rng = random.Random(seed)
    queues = []
    for folder in sorted(by_folder):
        queue = list(by_folder[folder])
        rng.shuffle(queue)
        queues.append(queue)
    while any(queues):
        for queue in queues:
            if queue:
                yield queue.pop()


def same_line(lines, number, was):
    """Where the line a fault was chosen on is now: at its number, or where
    lines added or removed above have moved it (the nearest line of the same
    text). None when no line has that text any more."""
    if number <= len(lines) and lines[number - 1] == was:
        return number
    found = [i + 1 for i, line in enumerate(lines) if line == was]
    return min(found, key=lambda at: abs(at - number)) if found else None


def run(command, cwd, seconds, log):
    with open(log, "a") as out:
        out.write("\n$ %s\n" % " ".join(command))
        out.flush()
        try:
            return subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=seconds).returncode
        except subprocess.TimeoutExpired:
            return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=40)
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--minutes", type=float, default=4.0,
                        help="time limit of one fault's tests")
    parser.add_argument("--from", dest="rev", metavar="REV",
                        help="choose the faults from the sources at this git revision "
                             "(to compare two trees on the same faults); a fault whose "
                             "line has moved is planted where it is now, one whose line "
                             "has changed is passed over")
    parser.add_argument("--list", action="store_true",
                        help="print the faults that would be tried, and stop")
    args = parser.parse_args()

    queue = ordered(all_candidates(args.rev), args.seed)
    if args.list:
        for i, (path, number, kind, text, _) in zip(range(args.count * 2), queue):
            print("%s:%d  %s  | %s" % (path, number, kind, text.strip()))
        return 0

    tree = ROOT / "build-mutants" / "tree"
    build = ROOT / "build-mutants" / "build"
    log = ROOT / "build-mutants" / "log.txt"
    if tree.exists():
        subprocess.run(["git", "worktree", "remove", "--force", str(tree)], cwd=ROOT)
        shutil.rmtree(tree, ignore_errors=True)
    tree.parent.mkdir(exist_ok=True)
    log.write_text("")
    # The committed tree: faults are planted into what the suite was written for.
    subprocess.run(["git", "worktree", "add", "--detach", "-q", str(tree), "HEAD"],
                   cwd=ROOT, check=True)
    try:
        jobs = str(os.cpu_count() or 2)
        # A time-out (None) is as much a failure as a non-zero status.
        if run(["cmake", "-S", str(tree), "-B", str(build), "-DTARN_BENCH=OFF"], tree, 600, log) != 0 \
                or run(["cmake", "--build", str(build), "-j" + jobs], tree, 3600, log) != 0:
            print("the unmutated tree does not build: see %s" % log)
            return 1
        caught, missed, tried = [], [], 0
        started = time.monotonic()
        for path, number, kind, text, was in queue:
            if tried == args.count:
                break
            source = tree / path
            if not source.exists():
                continue
            original = source.read_text()
            lines = original.split("\n")
            # Named by where it was chosen, so that runs on two trees compare.
            at = same_line(lines, number, was)
            if at is None:
                continue  # the line has changed since the revision the faults come from
            lines[at - 1] = text
            source.write_text("\n".join(lines))
            try:
                if run(["cmake", "--build", str(build), "-j" + jobs], tree, 900, log) != 0:
                    continue  # did not compile: not a fault the tests could meet
                tried += 1
                labels = labels_for(path)
                status = run(["ctest", "--test-dir", str(build), "--stop-on-failure",
                              "--timeout", "180", "-L", "^(" + "|".join(labels) + ")$"],
                             tree, args.minutes * 60, log)
                where = "%s:%d  %s" % (path, number, kind)
                # A time-out counts as caught: the suite did not pass.
                (missed if status == 0 else caught).append(where)
                print("%-7s %s" % ("missed" if status == 0 else "caught", where), flush=True)
            finally:
                source.write_text(original)
        # Leave the build as the tree is, for the next run's increments.
        run(["cmake", "--build", str(build), "-j" + jobs], tree, 3600, log)
        print("\ncaught %d of %d faults in %.0f min (seed %d)"
              % (len(caught), tried, (time.monotonic() - started) / 60, args.seed))
        if missed:
            print("missed:\n  " + "\n  ".join(missed))
    finally:
        subprocess.run(["git", "worktree", "remove", "--force", str(tree)], cwd=ROOT)
    return 0


if __name__ == "__main__":
    sys.exit(main())
