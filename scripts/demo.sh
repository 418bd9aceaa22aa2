#!/usr/bin/env bash
# Sets everything up, builds the program and the simulated plotter, and opens
# the wizard under Wine with a sample firmware file. Without a display it runs
# under Xvfb and prints where the screenshots are.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh win32 win64
if [ -n "${DISPLAY:-}" ]; then
    python3 scripts/demo.py --show
else
    python3 scripts/demo.py
fi
