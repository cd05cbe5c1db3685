#!/usr/bin/env bash
# Installs what is missing, builds, checks formatting and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/check-format.sh
scripts/build.sh
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
