#!/usr/bin/env bash
# Sets everything up and runs every test: native unit and integration tests
# under the sanitizers, then all tests again natively together with the
# inspection of the product and the end-to-end tests under Wine. The last
# line printed is the test runner's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
ctest --preset native-asan
ctest --preset native
