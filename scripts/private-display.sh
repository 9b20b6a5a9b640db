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
