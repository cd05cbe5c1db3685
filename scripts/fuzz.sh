#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS (default 60) on its corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
CXX=clang++ cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALPIR_FUZZ=ON \
  -DTALPIR_WITH_QT=OFF -DTALPIR_BENCH=OFF -DBUILD_TESTING=OFF -DTALPIR_WERROR=OFF >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target fuzz_reader fuzz_engine
for target in reader engine; do
  work=$(mktemp -d)
  cp -r "tests/fuzz/corpus/$target/." "$work/"
  echo "fuzz_$target: ${seconds}s"
  "$build_dir/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
    -max_len=4096 -timeout=10 -artifact_prefix="$build_dir/fuzz_$target-" "$work" 2>&1 |
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+[[:space:]]+DONE|INFO: -max_total_time|==[0-9]+==ERROR|SUMMARY|.*(deadly signal|Test unit written))' || true
  cov=$(ls "$work" | wc -l)
  echo "fuzz_$target: corpus $cov inputs"
  rm -rf "$work"
  # A finding leaves a crash, leak, timeout or oom artifact.
  if ls "$build_dir"/fuzz_"$target"-* >/dev/null 2>&1; then
    echo "fuzz_$target: FAILED, artifacts in $build_dir"; exit 1
  fi
done
