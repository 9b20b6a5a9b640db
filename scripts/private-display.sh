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

# start_private_gnome_shell EXTENSION-FOLDER: starts a headless GNOME Shell
# (Wayland, no XWayland) with Tarn's extension from EXTENSION-FOLDER enabled,
# in a home of its own: exports HOME, the XDG folders, the session bus it
# runs on (DBUS_SESSION_BUS_ADDRESS) and WAYLAND_DISPLAY, unsets DISPLAY, and
# appends the process IDs of both buses, the mocked logind the shell needs and
# the shell to `started`. Returns 1 when the shell does not answer with the
# extension.
start_private_gnome_shell() {
  local extension=$1 dir uuid
  uuid=$(basename "$extension")
  dir=$(mktemp -d)
  private_gnome_dir=$dir
  mkdir -p "$dir/config" "$dir/cache" "$dir/data/gnome-shell/extensions" "$dir/run"
  chmod 700 "$dir/run"
  export HOME=$dir XDG_CONFIG_HOME=$dir/config XDG_CACHE_HOME=$dir/cache \
    XDG_DATA_HOME=$dir/data XDG_RUNTIME_DIR=$dir/run
  # A system bus of its own with a mocked logind, which the shell needs.
  dbus-daemon --session --nofork --nopidfile --address="unix:path=$dir/system-bus" >/dev/null 2>&1 &
  started+=($!)
  dbus-daemon --session --nofork --nopidfile --address="unix:path=$dir/bus" >"$dir/bus.log" 2>&1 &
  started+=($!)
  for _ in $(seq 100); do
    [ -S "$dir/system-bus" ] && [ -S "$dir/bus" ] && break
    sleep 0.05
  done
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/system-bus" DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus"
  /usr/bin/python3 -m dbusmock --system --template logind >/dev/null 2>&1 &
  started+=($!)
  has_name() {
    gdbus call "$1" --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.NameHasOwner "$2" 2>/dev/null | grep -q true
  }
  for _ in $(seq 100); do
    has_name --system org.freedesktop.login1 && break
    sleep 0.1
  done
  # The extension is enabled before the shell starts: it loads them only then.
  cp -r "$extension" "$XDG_DATA_HOME/gnome-shell/extensions/$uuid"
  gsettings set org.gnome.shell enabled-extensions "['$uuid']"
  gsettings set org.gnome.shell welcome-dialog-last-shown-version "'999'"
  rm -f "$XDG_RUNTIME_DIR/gnome-shell-disable-extensions"
  XDG_SESSION_TYPE=wayland gnome-shell --headless --wayland --no-x11 --wayland-display wayland-tarn \
    --virtual-monitor 1280x800 >"$dir/gnome-shell.log" 2>&1 &
  started+=($!)
  for _ in $(seq 300); do
    if has_name --session org.tarn.Shell1; then
      # It starts in its overview; a user works on the desktop.
      gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.freedesktop.DBus.Properties.Set org.gnome.Shell OverviewActive '<false>' >/dev/null
      export WAYLAND_DISPLAY=wayland-tarn
      unset DISPLAY
      return 0
    fi
    sleep 0.1
  done
  echo "gnome-shell did not answer with Tarn's extension (see $dir/gnome-shell.log)" >&2
  return 1
}
