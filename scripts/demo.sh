#!/usr/bin/env bash
# Sets everything up, builds the program and the simulated plotter, and shows
# a whole firmware update with the 32-bit wizard that ships, under Wine (the
# win64 build is needed too: it holds the driver that reads the wizard).
# Where Wine cannot run 32-bit programs it shows the 64-bit twin and says so.
# With a display, the wizard opens on it, ready for an update, and you click
# through it. Without one, the demo drives the update itself under Xvfb, in
# English and Japanese, and prints where the screenshots of each state are.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh win32 win64
if [ -n "${DISPLAY:-}" ]; then
    python3 scripts/demo.py --show "$@"
else
    python3 scripts/demo.py "$@"
fi
