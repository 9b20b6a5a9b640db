#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every Debian package that building, running, testing and benchmarking
# Tarn needs. Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # build
  cmake g++ make clang libclang-rt-14-dev clang-format pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libxcb1-dev libxcb-ewmh-dev libxcb-icccm4-dev libxcb-res0-dev libxcb-xtest0-dev
  libxcb-xkb-dev libxcb-record0-dev libxkbcommon-dev libxkbcommon-x11-dev libx11-dev libx11-xcb-dev libxtst-dev
  libglib2.0-dev libwayland-dev libwayland-bin xkb-data qt6-wayland
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # the Unicode Character Database the case mapping is tested against
  unicode-data
  # the shells whose completions the package holds
  zsh fish
  xvfb xauth openbox xterm x11-utils x11-xkb-utils xdotool
  # the editor's save keeps ACLs and extended attributes: set and read on real files
  acl attr
  sway foot wayland-utils kwin-wayland xwayland plasma-wayland-protocols
  # the GNOME desktop the tests and benches start headless, with Tarn's extension
  gnome-shell
  # xhost: lets the tests, as root, reach the XWayland of a sway run as another user
  x11-xserver-utils
  # the Wayland typing peer, the charts and the memory figures of scripts/bench.sh
  wtype python3-matplotlib time
  # the peer editor bench/editor_open.py opens files beside
  featherpad
  dbus dbus-daemon python3 python3-dbusmock python3-gi
  cups-client cups-daemon poppler-utils shared-mime-info desktop-file-utils xdg-utils imagemagick
  # packaging: the Debian package, its checks and the desktop metadata
  dpkg-dev fakeroot file lintian appstream
  fonts-dejavu-core fonts-wqy-microhei
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
