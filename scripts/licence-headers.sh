#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source, build and script file of Tarn names its licence on its first
# lines, in the form tools such as `reuse` and Debian's licence checks read.
#
#   scripts/licence-headers.sh          adds the line where it is missing
#   scripts/licence-headers.sh --check  lists the files without it; exit 1 if any
set -euo pipefail
cd "$(dirname "$0")/.."

tag="SPDX-License-Identifier: GPL-3.0-or-later"
check=0
[ "${1:-}" = "--check" ] && check=1

missing=0
while IFS= read -r file; do
  [ -f "$file" ] || continue
  head -n 3 "$file" | grep -q "$tag" && continue
  if [ "$check" -eq 1 ]; then
    echo "no licence line: $file"
    missing=1
    continue
  fi
  case "$file" in
    *.cpp | *.h | *.c) comment="// $tag" ;;
    *) comment="# $tag" ;;
  esac
  tmp=$(mktemp)
  # A script's first line stays its interpreter line.
  if head -n 1 "$file" | grep -q '^#!'; then
    { head -n 1 "$file"; echo "$comment"; tail -n +2 "$file"; } >"$tmp"
  else
    { echo "$comment"; cat "$file"; } >"$tmp"
  fi
  # Keep the file's own mode (scripts stay executable).
  cat "$tmp" >"$file"
  rm -f "$tmp"
done < <(git ls-files --cached --others --exclude-standard -- \
  '*.cpp' '*.h' '*.c' '*.cmake' '*CMakeLists.txt' '*.sh' '*.py' '.ci/run' '.ci/no-survivors')

exit "$missing"
