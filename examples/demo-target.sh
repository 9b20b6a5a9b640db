#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The demo's target program: a line reader in a terminal. It echoes each line
# it receives and, on the line "save", writes every line it received to the
# file named by TARN_DEMO_OUT (default: build/demo-received.txt) and says so.
out=${TARN_DEMO_OUT:-build/demo-received.txt}
received=()
printf 'Tarn demo target: type lines, "save" to save them.\n'
# read -e gives readline editing, so Home, arrows and Ctrl+U act on the line.
while IFS= read -e -r -p '> ' line; do
  if [ "$line" = "save" ]; then
    printf '%s\n' "${received[@]}" > "$out.tmp" && mv "$out.tmp" "$out"
    printf 'saved %d lines to %s\n' "${#received[@]}" "$out"
  else
    received+=("$line")
    printf 'got: %s\n' "$line"
  fi
done
