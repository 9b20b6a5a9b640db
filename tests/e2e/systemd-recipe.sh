#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The scheduled runs of the help's "Unattended runs" as they are written there:
# the session's import line, the systemd user service and timer with the
# commands that install and start them, and the cron line. A user systemd of
# their own runs them, on a private D-Bus, against a private Xvfb whose key
# lies where no default would find it (GDM keeps it in the runtime folder),
# in a home folder without ~/.local/state.
#   tests/e2e/systemd-recipe.sh TARN HELP-PAGE
# The one change to the recipes: /usr/bin/tarn is the tarn under test.
# Exit status 77 (skipped) where no user systemd can start, saying why.
set -euo pipefail
tarn=$(realpath "$1")
page=$(realpath "$2")

# systemd runs as a user instance only where the system was booted with it
# (/run/systemd/system exists); a private mount namespace shows it that
# folder, and the runtime folder of the cron line, and nothing outside sees them.
if [ -z "${TARN_RECIPE_NAMESPACE:-}" ]; then
  if ! problem=$(unshare -m true 2>&1); then
    echo "skipped: no private mount namespace for a user systemd here: $problem"
    exit 77
  fi
  TARN_RECIPE_NAMESPACE=1 exec unshare -m "$0" "$@"
fi

tmp=$(mktemp -d /tmp/tarn-recipe-XXXXXX)
pids=()
stop() {  # by PID, within ten seconds, then for good
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop "${pids[i]}"; done
  rm -rf "$tmp"
}
trap cleanup EXIT
# The test's own standard error, which the commands below that hide theirs
# do not hide.
exec 3>&2
fail() { echo "systemd-recipe: $*" >&3; exit 1; }
waitFor() {  # a condition, polled for up to 60 seconds
  for _ in $(seq 600); do eval "$1" && return 0; sleep 0.1; done
  return 1
}

mount -t tmpfs tmpfs /run/systemd
mkdir /run/systemd/system
mount -t tmpfs tmpfs /run/user
runtime=/run/user/$(id -u)
mkdir -m 700 "$runtime"

# The recipes, as the page shows them.
recipe() {
  python3 - "$page" "$1" <<'EOF'
import html, re, sys
page = open(sys.argv[1], encoding="utf-8").read()
blocks = re.findall(r"(.*?)<pre>(.*?)</pre>", page, re.S)
for before, block in blocks:
    if sys.argv[2] in before[-300:]:
        print(html.unescape(block))
        break
else:
    sys.exit("no example after " + sys.argv[2])
EOF
}
service=$(recipe '<code>morning-report.service</code>:')
timer=$(recipe '<code>morning-report.timer</code>:')
import=$(recipe 'an autostart entry of the')
cron=$(recipe '<code>crontab -e</code>')
[[ $import == "systemctl --user import-environment DISPLAY XAUTHORITY" ]] || fail "import line: $import"

# The session: an X server that asks for a key, kept where GDM keeps it.
home=$tmp/home
mkdir -p "$home/Macros" "$home/.config/systemd/user"
cookie=$(mcookie)
xauth -q -f "$tmp/server-key" add :0 . "$cookie" 2>/dev/null
exec 5> "$tmp/display"
Xvfb -displayfd 5 -auth "$tmp/server-key" -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
pids+=($!)
exec 5>&-
waitFor '[ -s "$tmp/display" ]' || fail "Xvfb did not start"
display=:$(cat "$tmp/display")
key=$runtime/gdm/Xauthority
mkdir -p "$runtime/gdm"
xauth -q -f "$key" add "$display" . "$cookie" 2>/dev/null

# The user's systemd and its bus, with the home folder above.
session_env=(env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$runtime" LANG=C.UTF-8)
"${session_env[@]}" dbus-daemon --session --address="unix:path=$runtime/bus" --nofork --nopidfile \
  >/dev/null 2>&1 &
pids+=($!)
waitFor '[ -S "$runtime/bus" ]' || fail "no session bus"
"${session_env[@]}" /lib/systemd/systemd --user >"$tmp/systemd.log" 2>&1 &
pids+=($!)
# Each command within a minute: one that hangs fails the test, saying where,
# with what the user's systemd logged.
user() {
  local status=0
  timeout -k 5 60 "${session_env[@]}" "$@" || status=$?
  [ "$status" -lt 124 ] || fail "no end within a minute: $*
$(ps -o pid,stat,etime,wchan:20,args -u "$(id -u)" | grep -E 'tarn|systemd' | grep -v grep)
$(cat "$tmp/systemd.log")"
  return "$status"
}
waitFor 'state=$(user systemctl --user is-system-running 2>/dev/null); [ "$state" = running ] || [ "$state" = degraded ]' \
  || fail "the user systemd did not start: $(cat "$tmp/systemd.log")"

# The session imports what the runs need, as the page tells.
user env DISPLAY="$display" XAUTHORITY="$key" bash -c "$import" || fail "$import"

# The service and the timer, and the commands the page gives.
printf '%s\n' "${service//\/usr\/bin\/tarn/$tarn}" > "$home/.config/systemd/user/morning-report.service"
printf '%s\n' "$timer" > "$home/.config/systemd/user/morning-report.timer"
printf 'Rem the morning report\r\npid = Run touch %s/ran\r\nWait 1\r\n' "$tmp" \
  > "$home/Macros/morning-report.mcr"
[ ! -e "$home/.local/state" ] || fail "the home folder already has ~/.local/state"
user systemctl --user daemon-reload
user systemctl --user enable --now morning-report.timer 2>/dev/null || fail "the timer was not enabled"
user systemctl --user is-active --quiet morning-report.timer || fail "the timer is not active"
user systemctl --user start morning-report.service || fail "the service failed: $(cat "$tmp/systemd.log")"
[ -e "$tmp/ran" ] || fail "the service's run did not run its macro"
# %S of a user service: ~/.local/state since systemd 254, ~/.config before.
state=$home/.local/state
[ "$(systemctl --version | awk 'NR == 1 { print $2 }')" -ge 254 ] || state=$home/.config
trace=$state/tarn/morning-report.txt
[ "$(cat "$trace")" = "$(printf 'Rem the morning report\r\npid = Run touch %s/ran\r\nWait 1\r' "$tmp")" ] \
  || fail "the trace is not the run's: $(cat -A "$trace" 2>&1)"
# A failing macro fails the service, with tarn's status.
printf 'Rem the morning report\r\nSned the report\r\n' > "$home/Macros/morning-report.mcr"
if user systemctl --user start morning-report.service 2>/dev/null; then fail "a failing run succeeded"; fi
[ "$(user systemctl --user show -p ExecMainStatus --value morning-report.service)" = 1 ] \
  || fail "the failed service's status is not tarn's 1"
grep -q '^Error 1001 - Invalid macro command' "$trace" || fail "the failure is not in the trace"

# The cron line, without its five time fields, in the environment cron gives
# a job: no DISPLAY, no XAUTHORITY, no runtime folder.
command=$(awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' <<<"$cron")
command=${command//\/usr\/bin\/tarn/$tarn}
cronjob() {
  timeout -k 5 60 env -i HOME="$home" LOGNAME="$(id -un)" SHELL=/bin/sh PATH=/usr/bin:/bin \
    sh -c "$command"
}
status=0
out=$(cronjob 2>&1) || status=$?
[ "$status" = 1 ] && [ "$out" = "$home/Macros/morning-report.mcr:2:1: error: Invalid macro command [1001]" ] \
  || fail "the cron line on a failing macro: status $status, $out"
rm -f "$tmp/ran"
printf 'Rem the morning report\r\npid = Run touch %s/ran\r\nWait 1\r\n' "$tmp" \
  > "$home/Macros/morning-report.mcr"
status=0
out=$(cronjob 2>&1) || status=$?
[ "$status" = 0 ] && [ -z "$out" ] && [ -e "$tmp/ran" ] || fail "the cron line: status $status, $out"
echo "systemd-recipe: the service, the timer and the cron line run as written"
