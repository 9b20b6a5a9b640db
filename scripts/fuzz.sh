#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang and runs each for a bounded time, as
# many at once as there are cores.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
#   TARN_BUILD_DIR   build folder (default: build-fuzz, configured here with
#                    the window system off). A folder already configured with
#                    -DTARN_FUZZ=ON (as CI's sanitizer build is) is used as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash scripts/install-deps.sh
build=${TARN_BUILD_DIR:-build-fuzz}
if ! grep -qs '^TARN_FUZZ:BOOL=ON' "$build/CMakeCache.txt"; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DTARN_FUZZ=ON -DTARN_GUI=OFF -DTARN_TESTS=OFF \
    -DTARN_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j"$(nproc)" --target tarn_fuzzers

# Inputs nesting tens of thousands deep (groups in Send, embedded Run), far
# deeper than mutation reaches in a minute: each target runs them once.
deep="$build/deep"
mkdir -p "$deep"
python3 - "$deep" <<'EOF'
import pathlib, sys
folder = pathlib.Path(sys.argv[1])
deep = 30000
inputs = {
    "groups": "+(" * deep + "a" + ")" * deep,
    "send": "Send " + "(" * deep + "a" + ")" * deep,
    "run": "x = " + "Run " * deep + "x",
}
for name, text in inputs.items():
    (folder / name).write_text(text)
EOF

# One target: the deep inputs once, then mutation for the time given.
fuzz_one() {
  local target=$1 name status=0
  name=$(basename "$target")
  local corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  echo "== $name on inputs nested deep"
  "$target" "$deep"/* > "$build/$name.deep.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$build/$name.deep.log"
    echo "$name failed on a deep input with status $status"
    return "$status"
  fi
  echo "== $name for ${seconds}s"
  # -timeout: one input running longer than 10 s counts as a hang. -max_len
  # leaves room to nest past the depth limits; short inputs keep it fast.
  "$target" -max_total_time="$seconds" -timeout=10 -max_len=4096 -print_final_stats=1 \
    "$corpus" > "$build/$name.log" 2>&1 || status=$?
  grep -E '^(Done [0-9]+ runs|stat::number_of_executed_units)' "$build/$name.log" || true
  # libFuzzer exits non-zero on a crash, a leak or a hang.
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$build/$name.log"
    echo "$name failed with status $status"
  fi
  return "$status"
}

# One target per core at a time, each for its whole time; each one's lines
# are shown together once it has ended.
failed=0
running=()
finish_oldest() {
  local target=${running[0]}
  wait "${pids[$target]}" || failed=1
  cat "$build/$(basename "$target").out"
  running=("${running[@]:1}")
}
declare -A pids
for target in "$build"/fuzz/*_fuzz; do
  [ "${#running[@]}" -ge "$(nproc)" ] && finish_oldest
  fuzz_one "$target" > "$build/$(basename "$target").out" 2>&1 &
  pids[$target]=$!
  running+=("$target")
done
while [ "${#running[@]}" -gt 0 ]; do finish_oldest; done
exit "$failed"
