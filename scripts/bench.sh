#!/usr/bin/env bash
# Sets up and builds what the benchmark needs (the win32 product, the win64
# twin with the driver, and both trees' bench programs), then measures the
# wizard's own work per chunk, its launch to the first verdict and its
# footprint under Wine. Options go to bench/bench.py (--rounds N, --size BYTES).
# Prints a table and writes it to build/bench/results.md. Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh win32 win64
python3 bench/bench.py "$@"
