# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that need an X desktop of their own.
#
# start_private_display [XVFB-ARGUMENTS...]: starts Xvfb on a free display
# number and openbox on it, exports DISPLAY, and appends both process IDs to the
# caller's `started` array: ending them is the caller's business (its EXIT
# trap), so that nothing outlives the script. Returns 1 when Xvfb does not start.
start_private_display() {
  local numberfile number=""
  numberfile=$(mktemp)
  # Xvfb picks a free display number and writes it to file descriptor 3.
  Xvfb -displayfd 3 "$@" -nolisten tcp 3>"$numberfile" >/dev/null 2>&1 &
  started+=($!)
  for _ in $(seq 100); do
    number=$(tr -dc 0-9 <"$numberfile")
    [ -n "$number" ] && break
    sleep 0.1
  done
  rm -f "$numberfile"
  [ -n "$number" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$number"
  openbox >/dev/null 2>&1 &
  started+=($!)
  for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
}

# start_private_sway: starts a headless sway (Wayland, no XWayland) with a
# runtime folder of its own, exports WAYLAND_DISPLAY (the socket's absolute
# path) and SWAYSOCK, unsets DISPLAY, and appends sway's process ID to
# `started`. sway refuses to run as root: as root it runs as the unprivileged
# user 65534, whose socket root's clients reach by its path. Returns 1 when sway
# does not start.
start_private_sway() {
  local dir
  dir=$(mktemp -d)
  printf 'output HEADLESS-1 resolution 1280x800\nxwayland disable\n' >"$dir/config"
  local run=(sway -c "$dir/config")
  if [ "$(id -u)" -eq 0 ]; then
    chmod 711 "$dir"
    mkdir "$dir/run" && chown 65534:65534 "$dir/run" "$dir/config"
    run=(setpriv --reuid=65534 --regid=65534 --clear-groups "${run[@]}")
  else
    mkdir "$dir/run"
  fi
  chmod 700 "$dir/run"
  # setpriv executes sway in its own process: the PID is sway's.
  XDG_RUNTIME_DIR=$dir/run HOME=$dir/run WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
    WLR_RENDERER=pixman "${run[@]}" >"$dir/sway.log" 2>&1 &
  started+=($!)
  private_sway_dir=$dir
  local socket="" ipc=""
  for _ in $(seq 100); do
    socket=$(ls "$dir"/run/wayland-[0-9] 2>/dev/null | head -n1)
    ipc=$(ls "$dir"/run/sway-ipc.*.sock 2>/dev/null | head -n1)
    if [ -n "$socket" ] && [ -n "$ipc" ] &&
      WAYLAND_DISPLAY=$socket wayland-info 2>/dev/null | grep -q zwlr_foreign_toplevel_manager_v1; then
      export WAYLAND_DISPLAY=$socket SWAYSOCK=$ipc
      unset DISPLAY
      return 0
    fi
    sleep 0.1
  done
  echo "sway did not start (see $dir/sway.log)" >&2
  return 1
}
