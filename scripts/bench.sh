#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the benches that compare Tarn with its peers (typing on X11, sway, KWin
# and GNOME Shell beside xdotool, wtype and a raw XTest loop where they run;
# window search beside xdotool on X11, and on sway, KWin and GNOME Shell;
# start-up beside xdotool; opening a large macro beside FeatherPad) and writes
# docs/performance.md with the figures, the machine and a chart per
# comparison, all from this one run. A bench that fails is named on the page
# with its reason; the others still run.
#
#   TARN_BUILD_DIR      build folder (default: build)
#   TARN_BENCH_RUNS     runs of each typist and start-up command (default: 3 and 9)
#   TARN_BENCH_WINDOWS  window counts of the search (default: 50,200; 500 takes openbox
#                       minutes to settle on a busy machine)
#   TARN_BENCH_SIZES    MiB of the macros the editors open (default: 1 4 10)
#   TARN_JOBS           build jobs (default: nproc)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${TARN_BUILD_DIR:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DTARN_WERROR=ON
cmake --build "$build" -j"${TARN_JOBS:-$(nproc)}" --target tarn tarn_typing_driver \
  tarn_typing_driver_x11_sway tarn_xtest_loop tarn_window_search_bench tarn_target tarn_editor_open_driver

# Tarn's Shell extension as the build stages it, for the GNOME Shell sessions.
extension=$(ls -d "$build"/share/gnome-shell/extensions/*@*)

results=$(mktemp -d /tmp/tarn-bench-results-XXXXXX)
trap 'rm -rf "$results"' EXIT
cat /proc/loadavg > "$results/load_start"
git log -1 --format='%h %cs' > "$results/commit" 2>/dev/null || echo unknown > "$results/commit"

# run NAME COMMAND...: the command writes $results/NAME.json; when it fails,
# the last lines it wrote on standard error say why on the page.
run() {
  local name=$1
  shift
  echo "== $name: $*"
  if ! "$@" 2> >(tee "$results/$name.err" >&2); then
    rm -f "$results/$name.json"
    { echo -n "the bench failed: "; tail -n 3 "$results/$name.err" | tr '\n' ' '; } \
      > "$results/$name.failed"
  fi
}

run typing /usr/bin/python3 bench/typing.py --driver "$build/bench/tarn_typing_driver" \
  --driver-x11-sway "$build/bench/tarn_typing_driver_x11_sway" \
  --raw "$build/bench/tarn_xtest_loop" --extension "$extension" --runs "${TARN_BENCH_RUNS:-3}" \
  --json "$results/typing.json"
run startup /usr/bin/python3 bench/startup.py --tarn "$build/src/player/tarn" \
  --runs "${TARN_BENCH_RUNS:-9}" --json "$results/startup.json"
run window_search /usr/bin/python3 bench/window_search.py \
  --bench "$build/bench/tarn_window_search_bench" \
  --target "$build/tests/support/tarn_target" --extension "$extension" \
  --counts "${TARN_BENCH_WINDOWS:-50,200}" --json "$results/window_search.json"
# shellcheck disable=SC2086
run editor_open /usr/bin/python3 bench/editor_open.py --driver "$build/bench/tarn_editor_open_driver" \
  --sizes ${TARN_BENCH_SIZES:-1 4 10} --json "$results/editor_open.json"

/usr/bin/python3 bench/performance_page.py --results "$results" --page docs/performance.md \
  --charts docs/performance
echo "wrote docs/performance.md and docs/performance/*.png"
