#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash scripts/install-deps.sh
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DTARN_FUZZ=ON -DTARN_GUI=OFF -DTARN_TESTS=OFF \
  -DTARN_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"

for target in "$build"/fuzz/*_fuzz; do
  name=$(basename "$target")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  # Inputs nesting tens of thousands deep (groups in Send, embedded Run), far
  # deeper than mutation reaches in a minute: each target runs them once.
  deep="$build/deep/$name"
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
  echo "== $name on inputs nested deep"
  status=0
  "$target" "$deep"/* > "$build/$name.deep.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$build/$name.deep.log"
    echo "$name failed on a deep input with status $status"
    exit "$status"
  fi
  echo "== $name for ${seconds}s"
  # -timeout: one input running longer than 10 s counts as a hang. -max_len
  # leaves room to nest past the depth limits; short inputs keep it fast.
  status=0
  "$target" -max_total_time="$seconds" -timeout=10 -max_len=4096 -print_final_stats=1 \
    "$corpus" > "$build/$name.log" 2>&1 || status=$?
  grep -E '^(Done [0-9]+ runs|stat::number_of_executed_units)' "$build/$name.log" || true
  # libFuzzer exits non-zero on a crash, a leak or a hang.
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$build/$name.log"
    echo "$name failed with status $status"
    exit "$status"
  fi
done
