#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Tarn and runs its whole test suite: unit tests, the X11 tests (each
# starts its own Xvfb, with and without openbox), the platform tests (a private
# D-Bus with a mocked logind), the window tests and the acceptance suite.
# Installs every package it needs first.
#
#   TARN_BUILD_DIR   build folder (default: build)
#   TARN_CMAKE_ARGS  extra configure arguments (e.g. -DTARN_SANITIZE=ON)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${TARN_BUILD_DIR:-build}
# shellcheck disable=SC2086
cmake -S . -B "$build" -DTARN_WERROR=ON ${TARN_CMAKE_ARGS:-}
cmake --build "$build" -j"$(nproc)"
# Every test that needs a display starts its own (Xvfb, a headless sway), with
# its own home and runtime folders, so tests run side by side, one per core.
ctest --test-dir "$build" --output-on-failure --timeout 600 -j"$(nproc)"
