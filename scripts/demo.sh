#!/usr/bin/env bash
# Installs what is missing, builds, and programs the simulated device with an example file.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
bin=${BUILD_DIR:-build}

# The simulated device prints the path of its terminal on its first line.
coproc DEVSIM { exec "$bin/tools/devsim/talpir-devsim" --baud 115200; }
trap 'kill "$DEVSIM_PID" 2>/dev/null || true' EXIT
read -r -t 10 port <&"${DEVSIM[0]}"
echo "Simulated device on $port"

"$bin/src/cli/talpir-flash" info examples/demo.fwx | tail -n 1
"$bin/src/cli/talpir-flash" write --port "$port" examples/demo.fwx
