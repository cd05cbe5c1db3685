#!/usr/bin/env bash
# Installs what is missing, builds, checks formatting and runs every test: the suite, then
# the suite under the sanitizers, the fuzzers, and the core cross-built for Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

step() { printf '\n== %s (%s)\n' "$1" "$(date +%T)"; }

step "set-up"
scripts/setup.sh
step "format"
scripts/check-format.sh
step "build"
scripts/build.sh
step "tests"
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
step "sanitizers"
scripts/sanitize.sh
step "fuzzing"
scripts/fuzz.sh
step "Windows core"
scripts/cross-windows.sh
step "done"
