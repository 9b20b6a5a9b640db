#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the performance page and its charts from the JSON files one run of
scripts/bench.sh left in a folder: typing.json, window_search.json,
startup.json, editor_open.json, and for a bench that did not run,
NAME.failed holding why; load_start (/proc/loadavg when the run began) and
commit. The machine is described as it is when the page is written, at the
end of the run. Nothing on the page comes from anywhere else.

    bench/performance_page.py --results FOLDER --page docs/performance.md \\
                              --charts docs/performance
"""

import argparse
import datetime
import json
import os
import platform
import sys

# This folder's typing.py would stand in for the standard library's module of
# that name, which matplotlib imports: look for modules outside it.
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path = [p for p in sys.path if os.path.abspath(p or ".") != HERE]

import matplotlib  # noqa: E402

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

COLOURS = {"tarn": "#2a6f97", "peer": "#e07a5f", "limit": "#81b29a", "other": "#a8a8a8"}


def load(folder, name):
    path = os.path.join(folder, name + ".json")
    if os.path.exists(path):
        with open(path) as f:
            return json.load(f), None
    failed = os.path.join(folder, name + ".failed")
    reason = "did not run"
    if os.path.exists(failed):
        with open(failed) as f:
            reason = f.read().strip() or reason
    return None, reason


def read(path, default="unknown"):
    try:
        with open(path) as f:
            return f.read().strip()
    except OSError:
        return default


def machine(folder):
    cpu = "unknown"
    for line in read("/proc/cpuinfo", "").splitlines():
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    memory = "unknown"
    for line in read("/proc/meminfo", "").splitlines():
        if line.startswith("MemTotal:"):
            memory = "%.1f GiB" % (int(line.split()[1]) / 1024 / 1024)
    return {"date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M"),
            "cpu": cpu, "nproc": os.cpu_count(), "memory": memory,
            "debian": read("/etc/debian_version"), "kernel": platform.release(),
            "load_start": " ".join(read(os.path.join(folder, "load_start")).split()[:3]),
            "load_end": " ".join(read("/proc/loadavg").split()[:3]),
            "commit": read(os.path.join(folder, "commit"))}


def bar_chart(path, title, labels, values, colours, unit, log=False):
    fig, ax = plt.subplots(figsize=(7, 0.5 + 0.55 * len(labels)))
    bars = ax.barh(range(len(labels)), values, color=colours)
    ax.set_yticks(range(len(labels)), labels)
    ax.invert_yaxis()
    ax.set_xlabel(unit)
    ax.set_title(title)
    if log:
        ax.set_xscale("log")
    for bar, value in zip(bars, values):
        ax.text(bar.get_width(), bar.get_y() + bar.get_height() / 2, " %s" % fmt(value),
                va="center", fontsize=9)
    ax.margins(x=0.2)
    fig.tight_layout()
    fig.savefig(path, dpi=96)
    plt.close(fig)


def fmt(value):
    if value >= 100:
        return "{:,.0f}".format(value)
    if value >= 10:
        return "%.1f" % value
    return "%.3g" % value


def colour_of(typist):
    return {"tarn": COLOURS["tarn"], "raw loop": COLOURS["limit"]}.get(typist, COLOURS["peer"])


DESKTOP_ORDER = ("X11", "sway", "KWin", "GNOME")


def typing_sections(data, charts, rel):
    lines = ["## Typing", "",
             "`bench/typing.py`: each typist types into a focused terminal whose program "
             "writes what arrives to a file; the clock runs from the start of the typist to "
             "the last byte's arrival, and what arrived is compared with what was sent "
             "(*exact runs*). Tarn types through `tarn_typing_driver` (the Send typing engine "
             "with the desktop's backend; on X11 and sway built with those two backends "
             "only, so that it loads no library of the others before it types). The raw loop is the bench's own C program (XTest, "
             "no checks, a flush every 16 characters): the limit of the display. Each run "
             "starts a desktop of its own. Each figure is the median of its row's runs (the "
             "last column counts them: more for Tarn and the raw loop on X11, whose ratio "
             "moves most with the machine's load), runs interleaved.",
             ""]
    if data.get("desktops"):
        lines += ["| Desktop | What it is in this bench |", "|---|---|"]
        for name in DESKTOP_ORDER:
            if name in data["desktops"]:
                lines.append("| %s | %s |" % (name, data["desktops"][name]))
        lines.append("")
    lines += ["| Text | Desktop | Typist | Characters | Seconds | Chars/s | Exact runs |",
              "|---|---|---|---:|---:|---:|---|"]
    for entry in data["texts"]:
        for row in entry["medians"]:
            if "error" in row:
                lines.append("| %s | %s | %s | %d | - | - | did not run: %s |"
                             % (entry["text"], row["desktop"], row["typist"], row["chars"],
                                row["error"].replace("|", "/")))
                continue
            lines.append("| %s | %s | %s | %d | %.3f | %s | %d/%d%s |"
                         % (entry["text"], row["desktop"], row["typist"], row["chars"],
                            row["seconds"], fmt(row["chars_per_s"]), row["exact_runs"],
                            row["runs"], " (and %d failed: %s)"
                            % (len(row["failed_runs"]), row["failed_runs"][0].replace("|", "/"))
                            if row.get("failed_runs") else ""))
    lines.append("")
    if "x11_tarn_to_raw" in data:
        lines += ["On X11, Tarn typed the ASCII text at **%.2fx** the raw loop's speed."
                  % data["x11_tarn_to_raw"], ""]
    differing = [(entry["text"], r) for entry in data["texts"] for r in entry["runs"]
                 if r.get("difference")]
    if differing:
        lines += ["Runs in which what arrived was not what was sent:", ""]
        lines += ["- %s, %s, %s: %d of %d characters arrived, %s."
                  % (text, r["desktop"], r["typist"], r["arrived"], r["chars"],
                     r["difference"].replace("|", "/")) for text, r in differing]
        lines.append("")
    if data.get("peers_absent"):
        lines += ["Peers that cannot run here at all:", ""]
        lines += ["- " + note + "." for note in data["peers_absent"]]
        lines.append("")

    present = [d for d in DESKTOP_ORDER
               if any(r["desktop"] == d for e in data["texts"] for r in e["medians"])]
    for desktop in present:
        name = "typing-%s.png" % desktop.lower()
        labels, values, colours = [], [], []
        for entry in data["texts"]:
            for row in entry["medians"]:
                if row["desktop"] == desktop and "error" not in row:
                    labels.append("%s %s%s" % (entry["text"].split()[0], row["typist"],
                                               "" if row["exact_runs"] == row["runs"]
                                               else " (not exact)"))
                    values.append(row["chars_per_s"])
                    colours.append(colour_of(row["typist"]))
        if desktop == "sway":
            for row in data["long"]:
                labels.append("%d chars, tarn%s" % (row["chars"],
                                                    "" if row["exact"] else " (not exact)"))
                values.append(row["chars_per_s"])
                colours.append(COLOURS["tarn"])
        if not values:
            continue
        bar_chart(os.path.join(charts, name), "Typing on %s (median chars/s)" % desktop,
                  labels, values, colours, "characters per second", log=True)
        lines += ["![Typing on %s](%s/%s)" % (desktop, rel, name), ""]

    lines += ["### Long Sends on sway", "",
              "One Send of random ASCII into foot by Tarn, one run each.", "",
              "| Characters | Arrived | Seconds | Chars/s | Exact |", "|---:|---:|---:|---:|---|"]
    for row in data["long"]:
        lines.append("| %d | %d | %.2f | %s | %s |" % (row["chars"], row["arrived"],
                                                     row["seconds"], fmt(row["chars_per_s"]),
                                                     "yes" if row["exact"] else "**no**"))
    if data.get("long_skipped"):
        lines += ["", data["long_skipped"] + "."]
    return lines + [""]


WAYLAND_SEARCH = (("sway", "sway_tarn_ms", "sway_listed", COLOURS["limit"]),
                  ("KWin", "kwin_tarn_ms", "kwin_listed", "#3d405b"),
                  ("GNOME", "gnome_tarn_ms", "gnome_listed", "#f2cc8f"))


def window_section(data, charts, rel):
    lines = ["## Window search", "",
             "`bench/window_search.py`: one search by title for the bottom-most of N "
             "windows of one `tarn_target`. Tarn in-process (Google Benchmark median of %d "
             "repetitions); xdotool as a whole process (median of %d runs), its start-up "
             "alone given as `xdotool version`. X11: Xvfb with openbox, X11 windows. sway, "
             "KWin and GNOME: headless, native Wayland windows (Qt's Wayland platform); Tarn "
             "reads them through wlroots' foreign-toplevel protocol on sway, KWin scripts "
             "over D-Bus on KWin, and its own Shell extension over D-Bus on GNOME Shell. No "
             "peer lists native Wayland windows on these desktops (xdotool and wmctrl see "
             "X11 windows only), so there Tarn is measured alone."
             % (data["repetitions"], data["runs"]), ""]
    shown = [w for w in WAYLAND_SEARCH if any(w[1] in r for r in data["rows"])]
    lines += ["| Windows | Tarn X11 ms | xdotool ms | xdotool --onlyvisible ms | "
              "xdotool start ms |" + "".join(" Tarn %s ms |" % w[0] for w in shown),
              "|---:|---:|---:|---:|---:|" + "---:|" * len(shown)]
    for row in data["rows"]:
        lines.append("| %d | %.3f | %.1f | %.1f | %.1f |"
                     % (row["windows"], row["tarn_ms"], row["xdotool_ms"],
                        row["xdotool_onlyvisible_ms"], row["xdotool_start_ms"])
                     + "".join(" %s |" % ("%.3f" % row[w[1]] if w[1] in row else "-")
                               for w in shown))
    for name, why in data.get("errors", {}).items():
        lines += ["", "%s: not measured in this run: %s." % (name, why)]
    fig, ax = plt.subplots(figsize=(7, 4))
    counts = [r["windows"] for r in data["rows"]]
    series = [("tarn_ms", "Tarn (X11)", COLOURS["tarn"])]
    series += [(key, "Tarn (%s)" % name, colour) for name, key, _, colour in shown]
    series += [("xdotool_ms", "xdotool search (X11)", COLOURS["peer"]),
               ("xdotool_onlyvisible_ms", "xdotool search --onlyvisible (X11)",
                COLOURS["other"])]
    for key, label, colour in series:
        points = [(r["windows"], r[key]) for r in data["rows"] if key in r]
        ax.plot([p[0] for p in points], [p[1] for p in points], marker="o", label=label,
                color=colour)
    ax.set_xticks(counts)
    ax.set_yscale("log")
    ax.set_xlabel("windows")
    ax.set_ylabel("ms (median)")
    ax.set_title("One window search by title")
    ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(os.path.join(charts, "window-search.png"), dpi=96)
    plt.close(fig)
    return lines + ["", "![Window search](%s/window-search.png)" % rel, ""]


def startup_section(data, charts, rel):
    lines = ["## Start-up", "",
             "`bench/startup.py`: whole runs on one Xvfb with openbox, each started "
             "through `/usr/bin/time`, which gives its peak resident memory; the time runs "
             "from the start of `/usr/bin/time` to its end, and `/usr/bin/time true` shows "
             "what that wrapping costs by itself. The macro is one line, `%s`. Median of "
             "%d runs, interleaved." % (data["macro"], data["runs"]), "",
             "| Command | ms | slowest ms | peak MB |", "|---|---:|---:|---:|"]
    for row in data["commands"]:
        lines.append("| `%s` | %.1f | %.1f | %.1f |" % (row["command"], row["ms"],
                                                      row["max_ms"], row["peak_rss_MB"]))
    fig, axes = plt.subplots(1, 2, figsize=(9, 3))
    labels = [r["command"] for r in data["commands"]]
    colours = [COLOURS["peer"] if "xdotool" in c else COLOURS["other"] if c == "true"
               else COLOURS["tarn"] for c in labels]
    for ax, key, unit in ((axes[0], "ms", "ms (median)"), (axes[1], "peak_rss_MB", "peak MB")):
        values = [r[key] for r in data["commands"]]
        ax.barh(range(len(labels)), values, color=colours)
        ax.set_yticks(range(len(labels)), labels if ax is axes[0] else [""] * len(labels))
        ax.invert_yaxis()
        ax.set_xlabel(unit)
        for i, value in enumerate(values):
            ax.text(value, i, " " + fmt(value), va="center", fontsize=9)
        ax.margins(x=0.25)
    fig.suptitle("Start-up of a one-line macro")
    fig.tight_layout()
    fig.savefig(os.path.join(charts, "startup.png"), dpi=96)
    plt.close(fig)
    return lines + ["", "![Start-up](%s/startup.png)" % rel, ""]


def editor_section(data, charts, rel):
    sizes = list(data["tarn"].keys())
    peer = data.get("peer_version", "FeatherPad")
    lines = ["## Opening a large macro in the editor", "",
             "`bench/editor_open.py`: the editor (through `tarn_editor_open_driver`) beside "
             "%s, each started with the file; *window*: to its first window on the screen; "
             "*idle*: to the last moment its processor time grew before 0.3 s of stillness; "
             "*RSS*: resident memory once idle. Median of the runs." % peer, "",
             "| File | Tarn window s | Tarn idle s | Tarn RSS MB | FeatherPad window s | "
             "FeatherPad idle s | FeatherPad RSS MB |", "|---|---:|---:|---:|---:|---:|---:|"]
    for size in sizes:
        t, p = data["tarn"][size], data["peer"][size]
        lines.append("| %s | %.3f | %.3f | %.1f | %.3f | %.3f | %.1f |"
                     % (size, t["window_s"], t["idle_s"], t["rss_MB"], p["window_s"],
                        p["idle_s"], p["rss_MB"]))
    fig, ax = plt.subplots(figsize=(7, 3.5))
    width = 0.38
    xs = range(len(sizes))
    ax.bar([x - width / 2 for x in xs], [data["tarn"][s]["idle_s"] for s in sizes], width,
           label="Tarn editor", color=COLOURS["tarn"])
    ax.bar([x + width / 2 for x in xs], [data["peer"][s]["idle_s"] for s in sizes], width,
           label="FeatherPad", color=COLOURS["peer"])
    ax.set_xticks(list(xs), sizes)
    ax.set_ylabel("seconds to idle (median)")
    ax.set_title("Opening a large macro")
    ax.legend()
    fig.tight_layout()
    fig.savefig(os.path.join(charts, "editor-open.png"), dpi=96)
    plt.close(fig)
    return lines + ["", "![Opening a large macro](%s/editor-open.png)" % rel, ""]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--results", required=True)
    parser.add_argument("--page", required=True)
    parser.add_argument("--charts", required=True)
    args = parser.parse_args()
    os.makedirs(args.charts, exist_ok=True)
    for old in os.listdir(args.charts):
        if old.endswith(".png"):
            os.remove(os.path.join(args.charts, old))
    rel = os.path.relpath(args.charts, os.path.dirname(os.path.abspath(args.page)))

    here = machine(args.results)
    lines = ["# Performance", "",
             "Tarn beside its peers, measured by `scripts/bench.sh` in one run on %s UTC. "
             "Every figure and chart on this page comes from that run; run the script "
             "again to remake the page on your own machine." % here["date"], "",
             "## The machine", "",
             "| | |", "|---|---|",
             "| Processor | %s |" % here["cpu"],
             "| Cores (nproc) | %s |" % here["nproc"],
             "| Memory | %s |" % here["memory"],
             "| System | Debian %s, Linux %s |" % (here["debian"], here["kernel"]),
             "| Load average (1, 5, 15 min) | %s at the start, %s at the end |"
             % (here["load_start"], here["load_end"]),
             "| Tarn | commit %s |" % here["commit"], "",
             "A load average above the number of cores means other work shared the "
             "processors with the benches: every figure here is slower than on an idle "
             "machine, the peers' as much as Tarn's, since their runs are interleaved.", ""]
    sections = (("typing", "Typing", typing_sections),
                ("window_search", "Window search", window_section),
                ("startup", "Start-up", startup_section),
                ("editor_open", "Opening a large macro in the editor", editor_section))
    for name, title, write in sections:
        data, reason = load(args.results, name)
        if data is None:
            lines += ["## " + title, "", "Not measured in this run: %s." % reason, ""]
        else:
            lines += write(data, args.charts, rel)
    with open(args.page, "w") as out:
        out.write("\n".join(lines).rstrip() + "\n")
    return 0


if __name__ == "__main__":
    main()
