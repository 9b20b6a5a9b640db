#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of Tarn with CPack and checks it with lintian
# --pedantic, which must find nothing.
#   scripts/package.sh   builds build/tarn_<version>_<arch>.deb
#   TARN_BUILD_DIR       build folder (default: build, the one scripts/test.sh
#                        uses, so CI packages what it tested; files are stripped)
# Prints the path of the package as its last line.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
build=${TARN_BUILD_DIR:-build}
# The package installs under /usr, and its entry for KWin names the program
# there by its absolute path.
# shellcheck disable=SC2086
cmake -S . -B "$build" -DTARN_WERROR=ON -DCMAKE_INSTALL_PREFIX=/usr ${TARN_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j"$(nproc)" --target tarn tarn_compressed_docs
rm -f "$build"/tarn_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tarn_*.deb)
# The package is lintian-clean down to its pedantic tags: any tag fails.
# Informational tags are shown, not failed on. One run of lintian gives both.
# (Tags go to standard output; lintian's own notes, such as a warning about
# running as root, to standard error.)
report=$(lintian --pedantic --display-info --tag-display-limit 0 "$deb") || true
problems=$(grep -v '^I:' <<<"$report" || true)
if [ -n "$problems" ]; then
  echo "$problems" >&2
  echo "package.sh: lintian --pedantic is not silent on $deb" >&2
  exit 1
fi
grep '^I:' <<<"$report" >&2 || true
echo "$deb"
