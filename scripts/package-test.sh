#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks a built Tarn package without installing it: its file list, the
# unpacked program (--version, --check, and a macro run in automatic mode on a
# private Xvfb) with its help from the unpacked tree, the licence, the manual
# page's version, the desktop entries launched as a desktop launches them, the
# AppStream data, the MIME type resolving a .mcr file in a private XDG tree,
# the shell completions, the README's first macro as the README gives it, and
# the shipped examples where they are installed (/usr/share/doc/tarn shows the
# unpacked tree there, in a private mount namespace).
#   scripts/package-test.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")
tmp=$(mktemp -d /tmp/tarn-package-test-XXXXXX)
xvfb_pid=
openbox_pid=
stop() {  # by PID, within ten seconds, then for good
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  stop "$openbox_pid"
  stop "$xvfb_pid"
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "package-test: $*" >&2; exit 1; }

# 1. What the package installs.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | sort > "$tmp/files"
for f in /usr/bin/tarn /usr/share/man/man1/tarn.1.gz /usr/share/applications/tarn.desktop \
         /usr/share/mime/packages/tarn.xml /usr/share/metainfo/org.tarn.tarn.metainfo.xml \
         /usr/share/icons/hicolor/48x48/apps/tarn.png /usr/share/icons/hicolor/256x256/apps/tarn.png \
         /usr/share/tarn/help/index.html /usr/share/tarn/help/send.html \
         /usr/share/doc/tarn/copyright /usr/share/doc/tarn/changelog.gz \
         /usr/share/doc/tarn/README.md /usr/share/doc/tarn/examples/demo.mcr \
         /usr/share/applications/tarn.run.desktop /usr/share/bash-completion/completions/tarn \
         /usr/share/zsh/vendor-completions/_tarn /usr/share/fish/vendor_completions.d/tarn.fish \
         /usr/share/gnome-shell/extensions/tarn@tarn.example.org/metadata.json \
         /usr/share/gnome-shell/extensions/tarn@tarn.example.org/extension.js; do
  grep -qx "$f" "$tmp/files" || fail "the package lacks $f"
done
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "no Qt dependency from shlibdeps"
[ "$(dpkg-deb -f "$deb" Section)" = utils ] || fail "section is not utils"

# 2. The unpacked program.
root=$tmp/root
dpkg-deb -x "$deb" "$root"
tarn=$root/usr/bin/tarn
[ "$("$tarn" --version | head -n 1)" = "Tarn $(dpkg-deb -f "$deb" Version)" ] || fail "--version"
"$tarn" --version | grep -q 'GPLv3+' || fail "--version names no licence"
grep -q '^License: GPL-3+' "$root/usr/share/doc/tarn/copyright" || fail "copyright names no licence"
grep -q '^Files: src/platform/wayland/protocols/virtual-keyboard-unstable-v1.xml' \
  "$root/usr/share/doc/tarn/copyright" || fail "copyright lacks the protocols' notices"
# The README for users names only what the package holds.
for f in $(grep -o '/usr/[A-Za-z0-9_./-]*[A-Za-z0-9_]' "$root/usr/share/doc/tarn/README.md" | sort -u); do
  [ -e "$root$f" ] || fail "the README names $f, which the package lacks"
done
[ "$(dpkg-deb -f "$deb" Suggests)" = xterm ] || fail "xterm, which the examples start, is not suggested"
zcat "$root/usr/share/man/man1/tarn.1.gz" | head -n 1 | grep -q "\"Tarn $(dpkg-deb -f "$deb" Version)\"" \
  || fail "the manual page's version is not the package's"
printf 'Rem a short macro\r\nWait 0\r\nx = "a"\r\nSend x\r\n' > "$tmp/good.mcr"
printf 'Rem a short macro\r\nSend {NOKEY}\r\n' > "$tmp/bad.mcr"
env -u DISPLAY "$tarn" --check "$tmp/good.mcr" 2>/dev/null || fail "--check found something in a clean macro"
status=0; out=$(env -u DISPLAY "$tarn" --check "$tmp/bad.mcr" 2>/dev/null) || status=$?
[ "$status" = 1 ] && [ "$out" = "$tmp/bad.mcr:2:6: error: Invalid procedure call or argument (Send cannot read these keys) [5]" ] \
  || fail "--check on a faulty macro: status $status, $out"

# The help pages are compiled in; the installed copies are the same files.
cmp -s "$root/usr/share/tarn/help/index.html" "$(dirname "$0")/../share/tarn/help/index.html" \
  || fail "the installed help differs from the program's"

# A real automatic run on a private X server: the macro writes a file through
# a program it starts, and the program ends with status 0.
exec 5> "$tmp/display"
Xvfb -displayfd 5 -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb_pid=$!
exec 5>&-
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || fail "Xvfb did not start"
mkdir -p "$tmp/home" "$tmp/runtime" && chmod 700 "$tmp/runtime"
printf 'Rem run by the unpacked program\r\npid = Run touch %s\r\nWait 1\r\n' "$tmp/ran" > "$tmp/run.mcr"
status=0
timeout 60 env DISPLAY=":$(cat "$tmp/display")" HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" \
  XDG_RUNTIME_DIR="$tmp/runtime" DBUS_SESSION_BUS_ADDRESS=disabled: QT_QPA_PLATFORM=xcb \
  "$tarn" "$tmp/run.mcr" || status=$?
[ "$status" = 0 ] || fail "the automatic run ended with status $status"
[ -e "$tmp/ran" ] || fail "the automatic run did not run its macro"

# 3. The desktop: entry, AppStream data, MIME type.
desktop-file-validate "$root/usr/share/applications/tarn.desktop" || fail "desktop entry"
grep -qx 'MimeType=text/x-tarn-macro;' "$root/usr/share/applications/tarn.desktop" || fail "MimeType"
desktop-file-validate "$root/usr/share/applications/tarn.run.desktop" || fail "run entry"
# A double-click opens the editor; running is the hidden entry under Open With.
grep -qx 'Exec=tarn --edit %f' "$root/usr/share/applications/tarn.desktop" || fail "Exec opens no editor"
grep -qx 'Exec=tarn %f' "$root/usr/share/applications/tarn.run.desktop" || fail "the run entry runs nothing"
grep -qx 'NoDisplay=true' "$root/usr/share/applications/tarn.run.desktop" || fail "the run entry is in the menu"
# No network here: the screenshots' addresses are not fetched.
appstreamcli validate --pedantic --no-net "$root/usr/share/metainfo/org.tarn.tarn.metainfo.xml" >/dev/null \
  || fail "AppStream metadata"
xdg=$tmp/xdg
mkdir -p "$xdg/mime/packages"
cp "$root/usr/share/mime/packages/tarn.xml" "$xdg/mime/packages/"
XDG_DATA_HOME="$xdg" update-mime-database "$xdg/mime"
printf 'Rem a macro\r\n' > "$tmp/example.mcr"
# xdg-mime asks GIO on a GNOME desktop and file(1), which knows no
# shared-mime-info, elsewhere; GIO reads the database from XDG_DATA_HOME.
type=$(XDG_CURRENT_DESKTOP=GNOME GIO_USE_VFS=local DBUS_SESSION_BUS_ADDRESS=disabled: \
  XDG_DATA_HOME="$xdg" XDG_DATA_DIRS=/usr/share xdg-mime query filetype "$tmp/example.mcr")
[ "$type" = "text/x-tarn-macro" ] || fail "a .mcr file is $type"
grep -q 'sub-class-of type="text/plain"' "$xdg/mime/packages/tarn.xml" || fail "no text parent"
# With both entries known, the default of a double-click is the editor's.
mkdir -p "$xdg/applications"
cp "$root/usr/share/applications/"*.desktop "$xdg/applications/"
update-desktop-database "$xdg/applications"
default=$(PATH="$root/usr/bin:$PATH" GIO_USE_VFS=local DBUS_SESSION_BUS_ADDRESS=disabled: \
  XDG_DATA_HOME="$xdg" XDG_DATA_DIRS=/usr/share XDG_CONFIG_HOME="$tmp/home/.config" \
  gio mime text/x-tarn-macro)
default=${default%%$'\n'*}
[[ $default == *" tarn.desktop" ]] || fail "the default for a macro: $default"

# The installed entries as a desktop launches them: from the menu the player
# window, with a file the editor on it, "Run with Tarn" runs it.
display=":$(cat "$tmp/display")"
DISPLAY=$display openbox --sm-disable >/dev/null 2>&1 &
openbox_pid=$!
session=(env DISPLAY="$display" HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config"
  XDG_DATA_HOME="$tmp/home/.local/share" XDG_RUNTIME_DIR="$tmp/runtime"
  DBUS_SESSION_BUS_ADDRESS=disabled: QT_QPA_PLATFORM=xcb GIO_USE_VFS=local LANG=C.UTF-8
  PATH="$root/usr/bin:/usr/bin:/bin")
window() {  # the ID of the window with this title, within 20 seconds
  for _ in $(seq 200); do
    id=$("${session[@]}" xdotool search --name "^$1\$" 2>/dev/null | head -n 1) && [ -n "$id" ] \
      && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# Ended: gone, or a zombie, as it stays until whoever adopted it collects it
# (a launched program's parent leaves at once; CI adopts orphans).
ended() {
  [ ! -e "/proc/$1/stat" ] || [ "$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)" = Z ]
}
closeWindow() {  # ends the program that shows it, by its process ID
  pid=$("${session[@]}" xdotool getwindowpid "$1")
  kill "$pid"
  for _ in $(seq 100); do ended "$pid" && return 0; sleep 0.1; done
  fail "tarn $pid did not end"
}
"${session[@]}" gio launch "$root/usr/share/applications/tarn.desktop"
w=$(window "Tarn - Interactive Screen") || fail "the menu entry shows no player window"
closeWindow "$w"
printf 'Rem opened\r\npid = Run touch %s\r\n' "$tmp/opened-ran" > "$tmp/opened.mcr"
"${session[@]}" gio launch "$root/usr/share/applications/tarn.desktop" "$tmp/opened.mcr"
w=$(window "opened.mcr - Tarn Macro Editor") || fail "the entry with a file shows no editor"
closeWindow "$w"
[ ! -e "$tmp/opened-ran" ] || fail "opening a macro ran it"
"${session[@]}" gio launch "$root/usr/share/applications/tarn.run.desktop" "$tmp/opened.mcr"
for _ in $(seq 200); do [ -e "$tmp/opened-ran" ] && break; sleep 0.1; done
[ -e "$tmp/opened-ran" ] || fail "Run with Tarn did not run the macro"

# 4. The completions, each in its shell (fish offers macro files first, then
# the others; zsh and bash only macro files and folders).
completions=$root/usr/share
(cd "$tmp" && touch comp-a.mcr comp-b.txt && bash -c '
  source "$1"
  complete() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=(); _tarn; echo "${COMPREPLY[*]}"; }
  [ "$(complete tarn --ch)" = --check ] && [ "$(complete tarn comp-)" = comp-a.mcr ] &&
    [ "$(complete tarn --trace comp- | tr " " "\n" | sort | tr "\n" " ")" = "comp-a.mcr comp-b.txt " ]
' bash "$completions/bash-completion/completions/tarn") || fail "bash completion"
(cd "$tmp" && fish -c 'source $argv[1]
  complete -C "tarn --ch" | string match -q -- "--check*"
  and set -l files (complete -C "tarn comp-")
  and test $files[1] = comp-a.mcr' "$completions/fish/vendor_completions.d/tarn.fish") \
  || fail "fish completion"
head -n 1 "$completions/zsh/vendor-completions/_tarn" | grep -qx '#compdef tarn' || fail "zsh #compdef"
# zsh completes only in its line editor: an interactive zsh on a pseudo-
# terminal, whose compadd also writes down what it offers.
# shellcheck disable=SC2016 # expanded by zsh
zshComplete() {
  rm -f "$tmp/offered"
  zsh -f -c '
    zmodload zsh/zpty
    zpty z zsh -f -i
    zpty -w z "fpath=($1 \$fpath); autoload -U compinit; compinit -u -D; cd $2"
    zpty -w z "compadd() { local -a hits; builtin compadd -O hits \"\$@\";
      (( \$#hits )) && print -l -- \$hits >> $3; builtin compadd \"\$@\" }"
    zpty -w -n z "$4"$'"'"'\t'"'"'
    for i in {1..100}; do [[ -s $3 ]] && break; sleep 0.1; done
    zpty -d z' zsh "$completions/zsh/vendor-completions" "$tmp" "$tmp/offered" "$1"
  sort -u "$tmp/offered" 2>/dev/null | tr '\n' ' '
}
[ "$(zshComplete 'tarn --ch')" = "--check " ] && [ "$(zshComplete 'tarn comp-')" = "comp-a.mcr " ] \
  && [ "$(zshComplete 'tarn --trace comp-')" = "comp-a.mcr comp-b.txt " ] || fail "zsh completion"

# 5. The README's first macro, as the README gives it: a clean check, the
# check of the README's broken copy, and the run.
readme=$(dirname "$0")/../README.md
awk '/^## Your first macro/ { part = 1 } part && /^```/ { n++; next } part && n == 1' "$readme" \
  | sed 's/$/\r/' > "$tmp/hello.mcr"
grep -q '^Rem My first macro' "$tmp/hello.mcr" || fail "no first macro in the README"
sed 's/^Send /Sned /' "$tmp/hello.mcr" > "$tmp/broken.mcr"
expected=$(grep -o '^broken.mcr:[0-9]*:[0-9]*: error: .*' "$readme")
(cd "$tmp" && [ -z "$("$tarn" --check hello.mcr)" ] && [ "$("$tarn" --check broken.mcr)" = "$expected" ]) \
  || fail "the README's check of its first macro"
status=0
(cd "$tmp" && timeout 120 "${session[@]}" tarn hello.mcr) || status=$?
[ "$status" = 0 ] || fail "the README's first macro ended with status $status"

# 6. The shipped examples where they are installed: /usr/share/doc shows the
# unpacked package's in a mount namespace of their own.
if ! problem=$(unshare -m true 2>&1); then
  echo "package-test: the examples were not run: no private mount namespace here ($problem)" >&2
else
  mkdir -p "$tmp/apps/applications" "$tmp/home/.config"
  printf '#!/bin/sh\nprintf "%%s\\n" "$@" >> %s/opened\n' "$tmp" > "$tmp/apps/recorder"
  chmod +x "$tmp/apps/recorder"
  printf '[Desktop Entry]\nType=Application\nName=Recorder\nExec=%s/apps/recorder %%f\nMimeType=text/markdown;text/plain;inode/directory;\n' \
    "$tmp" > "$tmp/apps/applications/recorder.desktop"
  printf '[Default Applications]\ntext/markdown=recorder.desktop\ntext/plain=recorder.desktop\ninode/directory=recorder.desktop\n' \
    > "$tmp/home/.config/mimeapps.list"
  # shellcheck disable=SC2016 # expanded by the inner shell
  unshare -m sh -c '
    mount --bind "$1/usr/share/doc" /usr/share/doc || exit 9
    shift
    for example in demo variables-and-timeout run-execute; do
      timeout 120 "$@" tarn "/usr/share/doc/tarn/examples/$example.mcr" \
        || { echo "$example: status $?"; exit 1; }
    done' sh "$root" "${session[@]}" XDG_DATA_HOME="$tmp/apps" TMPDIR="$tmp" \
    || fail "a shipped example failed"
  [ "$(sed -n 1p "$tmp/tarn-demo-received.txt")" = "Hello from Tarn" ] || fail "the demo typed nothing"
  for _ in $(seq 100); do [ "$(wc -l < "$tmp/opened" 2>/dev/null)" = 2 ] && break; sleep 0.1; done
  [ "$(cat "$tmp/opened")" = "$(printf '/usr/share/doc/tarn/README.md\n/usr/share/doc/tarn/examples')" ] \
    || fail "RunExecute opened: $(cat "$tmp/opened" 2>&1)"
fi
echo "package-test: $deb is sound"
