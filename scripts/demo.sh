#!/usr/bin/env bash
# Installs what is missing, builds, and programs the simulated device with an example file;
# with a display, then opens the window on the simulated device too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh >/dev/null
bin=${BUILD_DIR:-build}
example=$PWD/examples/demo.fwx

pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT
# start_devsim ARGS...: starts a simulated device; it prints the path of its terminal first.
start_devsim() {
  local fd
  exec {fd}< <(exec "$bin/tools/devsim/talpir-devsim" --quiet "$@")
  pids+=($!)
  read -r -t 10 port <&"$fd"
}

start_devsim
echo "Simulated device on $port"

"$bin/src/cli/talpir-flash" info "$example" | tail -n 1
"$bin/src/cli/talpir-flash" write --port "$port" "$example"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: the window (talpir-programmer) is not opened."
  exit 0
fi
# A device at a real line's pace, so the progress can be watched; the window's settings
# file is filled in with its port and the example.
start_devsim --baud 38400
ini="$bin/src/talpir-programmer.INI"
scripts/ini-set.sh "$ini" USER comPortName "$port"
scripts/ini-set.sh "$ini" USER FileName "$example"
echo "Opening the window: port $port and $example are filled in; press СТАРТ."
"$bin/src/talpir-programmer"
