#!/usr/bin/env bash
# Sets everything up and runs every test: a short run of each fuzz target of
# the plain parsing (stopping here on any finding), native unit and
# integration tests under the sanitizers, then all tests again natively
# together with the inspection of the product and the end-to-end tests under
# Wine, which run the 32-bit program that ships (and a few cases on its 64-bit
# twin). One line before them says whether Wine can run the 32-bit program
# here; where it cannot, its 64-bit twin runs in its place. The last line
# printed is the test runner's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
bash scripts/fuzz.sh 10
ctest --preset native-asan
python3 tests/e2e/harness.py probe
ctest --preset native
