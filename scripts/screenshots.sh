#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders Tarn's windows (the player idle and during a run, the "Retry ?" box,
# the about box and the help window) into docs/screenshots/NAME-DPIdpi.png at
# 96 and 144 DPI. Each DPI gets a private X server (Xvfb) with openbox, so the
# pictures show the fonts and window frames of a real desktop; both are ended
# afterwards. The windows themselves are listed in tools/screenshots/Screenshots.cpp:
# one entry there adds a picture here.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/private-display.sh

bash scripts/install-deps.sh >/dev/null
cmake -S . -B build -DTARN_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)" --target tarn_screenshots >/dev/null
shooter=$PWD/build/tools/screenshots/tarn_screenshots
out=$PWD/docs/screenshots
mkdir -p "$out"

started=()
cleanup() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${started[@]}"; do wait "$pid" 2>/dev/null || true; done
  started=()
}
trap cleanup EXIT

runtime=$(mktemp -d)
trap 'cleanup; rm -rf "$runtime"' EXIT
status=0
for dpi in 96 144; do
  # The same desktop in both: 1280 x 800 in 96 DPI units.
  width=$((1280 * dpi / 96)) height=$((800 * dpi / 96))
  start_private_display -screen 0 "${width}x${height}x24" -dpi "$dpi" || exit 1
  # QT_FONT_DPI is what a desktop's font DPI setting gives Qt; no session bus,
  # so that Qt starts no D-Bus daemon of its own.
  QT_FONT_DPI=$dpi QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=disabled: \
    XDG_RUNTIME_DIR=$runtime "$shooter" "$out" "$dpi" || status=1
  cleanup
done
echo "Screenshots in docs/screenshots/"
exit $status
