#!/usr/bin/env bash
# Measures the programs against the simulated device and writes docs/performance.md.
# Builds in Release in build-bench/. Usage: bench/run.sh [--runs N] (N runs a figure, default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-bench
report=$root/docs/performance.md
runs=3
if [ "${1:-}" = "--runs" ] && [ -n "${2:-}" ]; then runs=$2; fi

step() { printf '== %s (%s)\n' "$1" "$(date +%T)" >&2; }

if [ ! -x /usr/bin/time ]; then
  step "installing time"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends time
fi

step "build (Release, $build)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTALPIR_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target talpir-flash talpir-devsim talpir-programmer \
  talpir-bench-reader talpir-bench-link talpir-bench-reference talpir-bench-window

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
results=$work/results.txt
: >"$results"
export QT_QPA_PLATFORM=offscreen
link=$build/bench/talpir-bench-link
measure() { "$link" "$1" --build "$build" --work "$work" --runs "$2" >>"$results"; }
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
if awk -v load="${load_before%% *}" -v cores="$(nproc)" 'BEGIN { exit !(load > cores / 2) }'; then
  echo "bench/run.sh: the machine is busy (load $load_before): figures 2 and 3 will show it" >&2
fi
started=$(date +%s)

step "5. reader speed"
"$build/bench/talpir-bench-reader" --benchmark_format=json --benchmark_repetitions="$runs" \
  --benchmark_report_aggregates_only=true >"$work/reader.json"
"$link" reader "$work/reader.json" >>"$results"
step "3. unpaced speed"
measure unpaced $((5 * runs))  # a fraction of a second each, and the spread is wide
step "4. stop latency"
measure stop "$runs"
measure window-stop "$runs"
step "6. peak memory, 1 MiB"
measure size "$runs"
step "2. the window over a paced transfer"
measure window "$runs"
step "1. line efficiency (64 KiB at 38400 baud, about 17 s a run)"
measure line "$runs"

load_after=$(cut -d' ' -f1-3 /proc/loadavg)
minutes=$((($(date +%s) - started + 59) / 60))
step "report"
RESULTS=$results RUNS=$runs LOAD_BEFORE=$load_before LOAD_AFTER=$load_after MINUTES=$minutes \
  BUILD=$build bash "$root/bench/report.sh" >"$report"
cat "$report"
