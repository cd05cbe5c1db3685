#!/usr/bin/env bash
# Sanitizer run for CI: every test under ASan+UBSan, then the threaded ones under TSan.
#
# Threaded: the engine, the worker, the window and its reliability tests. Build folders:
# $ASAN_BUILD_DIR (build-asan), $TSAN_BUILD_DIR (build-tsan). Qt's own calls are suppressed
# under TSan (tests/window/tsan.supp); nothing of ours is.
set -euo pipefail
cd "$(dirname "$0")/.."
asan_dir=${ASAN_BUILD_DIR:-build-asan}
tsan_dir=${TSAN_BUILD_DIR:-build-tsan}
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:check_initialization_order=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-second_deadlock_stack=1}

# TSan builds only these (and what they need: talpir-devsim, talpir-flash).
tsan_targets=(transfer_engine_test window_layout_test window_settings_test window_transfer_test
  window_faults_test window_soak_test)
tsan_tests='TransferEngine|^window_(layout|settings|transfer|faults|soak)_test$'

step() { echo "== $1 (at ${SECONDS}s)"; }

step "ASan+UBSan: build in $asan_dir"
cmake -S . -B "$asan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALPIR_SANITIZE=ON -DTALPIR_BENCH=OFF >/dev/null
cmake --build "$asan_dir" -j "$jobs"
step "ASan+UBSan: every test"
ctest --test-dir "$asan_dir" --output-on-failure -j "$jobs"

step "TSan: build in $tsan_dir"
cmake -S . -B "$tsan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALPIR_TSAN=ON -DTALPIR_BENCH=OFF \
  >/dev/null
cmake --build "$tsan_dir" -j "$jobs" --target "${tsan_targets[@]}"
step "TSan: the threaded tests"
ctest --test-dir "$tsan_dir" --output-on-failure -j "$jobs" -R "$tsan_tests"
step "all clean"
