#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Tarn and runs its main job: `tarn` in automatic mode on
# examples/demo.mcr, which starts a real program (a line reader in xterm), finds
# its window, brings it forward, types into it, has it save what it received
# and closes it. Prints what the program received and a one-line verdict.
# Without an X display it starts its own (Xvfb with openbox) for the run and
# saves a screenshot of the moment before the close in build/.
#
# With --wayland the same macro runs on a headless sway of its own, Tarn on its
# Wayland backends, with the line reader in foot instead of xterm: the macro's
# Run line is the only one that differs.
#
# With --plasma the macro runs unchanged on a headless KWin of its own (with
# XWayland, where the xterm shows), Tarn on its KWin backends, granted KWin's
# fake input by a desktop entry in a private data folder, as the package
# grants it; KWin and Tarn get a private HOME, so that the layouts Tarn adds
# for a moment are never the user's.
#
# With --gnome it runs on a headless GNOME Shell of its own with Tarn's
# extension from the build, the same way.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/private-display.sh

wayland=0
plasma=0
gnome=0
case "${1:-}" in
  --wayland) wayland=1 ;;
  --plasma) plasma=1 ;;
  --gnome) gnome=1 ;;
  "") ;;
  *) echo "usage: $0 [--wayland | --plasma | --gnome]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh >/dev/null
cmake -S . -B build -DTARN_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)" --target tarn >/dev/null
echo "Built build/src/player/tarn"

export TARN_DEMO_OUT=$PWD/build/demo-received.txt
screenshot=$PWD/build/demo-screenshot.png
rm -f "$TARN_DEMO_OUT" "$screenshot"

started=()
cleanup() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "${kwin_group:-}" ] && kill -- "-$kwin_group" 2>/dev/null
  wait 2>/dev/null || true
  [ -n "${busdir:-}" ] && rm -rf "$busdir"
  [ -n "${private_sway_dir:-}" ] && rm -rf "$private_sway_dir"
  [ -n "${private_kwin_dir:-}" ] && rm -rf "$private_kwin_dir"
  [ -n "${private_gnome_dir:-}" ] && rm -rf "$private_gnome_dir"
  return 0
}
trap cleanup EXIT

# The run gets a session bus of its own, ended with the demo, so that nothing
# the demo starts is left behind.
start_private_bus() {
  busdir=$(mktemp -d)
  dbus-daemon --session --nofork --nopidfile --address="unix:path=$busdir/bus" >/dev/null 2>&1 &
  started+=($!)
  for _ in $(seq 100); do
    [ -S "$busdir/bus" ] && break
    sleep 0.05
  done
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$busdir/bus"
}

# start_private_kwin: a headless KWin with XWayland on the private bus, with
# HOME and the XDG folders in a folder of its own (its xkb folder made before
# KWin starts, which reads it only then); exports WAYLAND_DISPLAY, DISPLAY (its
# XWayland) and those folders for Tarn. The packaged kwin_wayland carries a
# file capability that a container may refuse to execute; a copy has none.
start_private_kwin() {
  local dir tarn
  dir=$(mktemp -d)
  private_kwin_dir=$dir
  mkdir -p "$dir/home" "$dir/config/xkb" "$dir/cache" "$dir/data/applications" "$dir/run"
  chmod 700 "$dir/run"
  tarn=$(readlink -f build/src/player/tarn)
  sed "s|@CMAKE_INSTALL_FULL_BINDIR@/tarn|$tarn|" share/tarn-keystrokes.desktop.in \
    >"$dir/data/applications/tarn-keystrokes.desktop"
  cp "$(command -v kwin_wayland)" "$dir/kwin_wayland"
  export HOME=$dir/home XDG_CONFIG_HOME=$dir/config XDG_CACHE_HOME=$dir/cache \
    XDG_DATA_HOME=$dir/home/.local/share XDG_RUNTIME_DIR=$dir/run
  # A process group of its own, ended whole with its XWayland.
  XDG_DATA_DIRS=$dir/data:/usr/local/share:/usr/share KWIN_COMPOSE=Q QT_QPA_PLATFORM=wayland \
    XDG_SESSION_TYPE=wayland setsid "$dir/kwin_wayland" --virtual --width 1280 --height 800 \
    --no-lockscreen --socket wayland-demo --xwayland "sh -c 'echo \$DISPLAY >$dir/display'" \
    >"$dir/kwin.log" 2>&1 &
  kwin_group=$!
  for _ in $(seq 200); do
    if [ -S "$dir/run/wayland-demo" ] && [ -s "$dir/display" ] &&
      gdbus introspect --session --dest org.kde.KWin --object-path /Scripting >/dev/null 2>&1; then
      export WAYLAND_DISPLAY=$dir/run/wayland-demo DISPLAY
      DISPLAY=$(cat "$dir/display")
      return 0
    fi
    sleep 0.1
  done
  echo "KWin did not start (see $dir/kwin.log)" >&2
  return 1
}

macro=examples/demo.mcr
virtual=0
if [ $plasma -eq 1 ]; then
  start_private_bus
  start_private_kwin || exit 1
  echo "Started a headless KWin at $WAYLAND_DISPLAY, XWayland at $DISPLAY"
elif [ $gnome -eq 1 ]; then
  start_private_gnome_shell "$(ls -d build/share/gnome-shell/extensions/*@*)" || exit 1
  echo "Started a headless GNOME Shell at $WAYLAND_DISPLAY with Tarn's extension"
  macro=build/demo-gnome.mcr
  sed 's|^pid = Run xterm .*$|pid = Run foot -T "Tarn Demo Target" -f "DejaVu Sans Mono:size=11" bash examples/demo-target.sh|' \
    examples/demo.mcr >"$macro"
elif [ $wayland -eq 1 ]; then
  start_private_sway || exit 1
  echo "Started a headless sway at $WAYLAND_DISPLAY"
  macro=build/demo-wayland.mcr
  sed 's|^pid = Run xterm .*$|pid = Run foot -T "Tarn Demo Target" -f "DejaVu Sans Mono:size=11" bash examples/demo-target.sh|' \
    examples/demo.mcr >"$macro"
elif [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  virtual=1
  start_private_display -screen 0 1280x800x24 || exit 1
  echo "Started a virtual display $DISPLAY with openbox"
fi

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
fi
# On GNOME the shell's own session bus serves the run.
if [ $gnome -eq 0 ]; then
  [ -n "${busdir:-}" ] || start_private_bus
fi
echo "Running: tarn $macro"
# What tarn says on standard error goes to a log, shown when something went
# wrong (the programs it starts write to /dev/null).
log=$PWD/build/demo-tarn.log
build/src/player/tarn "$macro" 2>"$log" &
tarn=$!
started+=("$tarn")
# The macro waits two seconds between the save and the close: the screenshot
# is taken in that time, once the saved file appears.
shot=0
for _ in $(seq 1200); do
  if [ $shot -eq 0 ] && [ -s "$TARN_DEMO_OUT" ]; then
    if [ $virtual -eq 1 ]; then
      sleep 0.3
      import -window root "$screenshot" 2>/dev/null && echo "Saved a screenshot: build/demo-screenshot.png"
    fi
    shot=1
  fi
  kill -0 "$tarn" 2>/dev/null || break
  sleep 0.1
done
status=0
if kill -0 "$tarn" 2>/dev/null; then
  echo "tarn did not finish within 120 seconds"
  status=1
else
  wait "$tarn" || status=$?
fi

expected=$'Hello from Tarn\nhéllo wörld €uro, ελληνικά, русский, 日本語\nhello world\nfixed line\n+^%~(){}[]\nxy'
echo
echo "The program received:"
if [ -f "$TARN_DEMO_OUT" ]; then sed 's/^/  | /' "$TARN_DEMO_OUT"; else echo "  (nothing: no file was saved)"; fi
echo
if [ $status -eq 0 ] && [ -f "$TARN_DEMO_OUT" ] && [ "$(cat "$TARN_DEMO_OUT")" = "$expected" ]; then
  echo "Verdict: PASS - tarn exited 0 and the program received exactly what the macro typed."
else
  echo "Verdict: FAIL - tarn exit status $status; expected the program to receive:"
  printf '%s\n' "$expected" | sed 's/^/  | /'
  echo "tarn's standard error:"
  sed 's/^/  ! /' "$log"
  exit 1
fi
