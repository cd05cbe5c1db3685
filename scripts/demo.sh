#!/usr/bin/env bash
# Installs what is missing, builds, and programs the simulated device with an example file;
# with a display, then opens the window on the simulated device too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
bin=${BUILD_DIR:-build}
example=$PWD/examples/demo.fwx

# The simulated device prints the path of its terminal on its first line.
coproc DEVSIM { exec "$bin/tools/devsim/talpir-devsim" --quiet; }
trap 'kill "$DEVSIM_PID" 2>/dev/null || true' EXIT
read -r -t 10 port <&"${DEVSIM[0]}"
echo "Simulated device on $port"

"$bin/src/cli/talpir-flash" info "$example" | tail -n 1
"$bin/src/cli/talpir-flash" write --port "$port" "$example"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: the window (talpir-programmer) is not opened."
  exit 0
fi
# A device at a real line's pace, so the progress can be watched; the window's settings
# file is filled in with its port and the example.
coproc PACED { exec "$bin/tools/devsim/talpir-devsim" --quiet --baud 38400; }
trap 'kill "$DEVSIM_PID" "$PACED_PID" 2>/dev/null || true' EXIT
read -r -t 10 paced <&"${PACED[0]}"
ini="$bin/src/talpir-programmer.INI"
scripts/ini-set.sh "$ini" USER comPortName "$paced"
scripts/ini-set.sh "$ini" USER FileName "$example"
echo "Opening the window: port $paced and $example are filled in; press СТАРТ."
"$bin/src/talpir-programmer"
