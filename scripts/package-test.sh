#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks a built Tarn package without installing it: its file list, the
# unpacked program (--version, --check, and a macro run in automatic mode on a
# private Xvfb) with its help from the unpacked tree, the licence, the manual
# page's version, the desktop entry, the AppStream data, and the MIME type
# resolving a .mcr file in a private XDG tree.
#   scripts/package-test.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")
tmp=$(mktemp -d /tmp/tarn-package-test-XXXXXX)
xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
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
# A double-click opens the editor; running is an action the user picks.
grep -qx 'Exec=tarn --edit %f' "$root/usr/share/applications/tarn.desktop" || fail "Exec opens no editor"
grep -qx 'Actions=run-macro;' "$root/usr/share/applications/tarn.desktop" || fail "no Run Macro action"
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
echo "package-test: $deb is sound"
