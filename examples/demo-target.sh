#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The demo's target program: a line reader in a terminal. It echoes each line
# it receives and, on the line "save", writes every line it received to the
# file named by TARN_DEMO_OUT (default: tarn-demo-received.txt in TMPDIR or
# /tmp) and says so.
out=${TARN_DEMO_OUT:-${TMPDIR:-/tmp}/tarn-demo-received.txt}
received=()
# Keys typed ahead of the prompt must reach readline as they were typed.
# Between two reads bash puts the terminal back in line mode, and there the
# terminal driver itself takes an erase or kill key that arrives then, against
# a line it has already handed on: three x, two Backspaces and y came out as
# "xxy". Kept out of line mode for the whole session, the terminal passes
# every key on. Echo is on only around the reads: readline shows what is
# typed only if it finds echo on, and the replies in between stay apart from
# keys typed ahead.
saved=$(stty -g)
trap 'stty "$saved"' EXIT
stty -icanon -echo min 1 time 0
printf 'Tarn demo target: type lines, "save" to save them.\n'
# read -e gives readline editing, so Home, arrows and Ctrl+U act on the line.
while stty echo && IFS= read -e -r -p '> ' line && stty -echo; do
  if [ "$line" = "save" ]; then
    printf '%s\n' "${received[@]}" > "$out.tmp" && mv "$out.tmp" "$out"
    printf 'saved %d lines to %s\n' "${#received[@]}" "$out"
  else
    received+=("$line")
    printf 'got: %s\n' "$line"
  fi
done
