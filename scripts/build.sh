#!/usr/bin/env bash
# Builds the given presets, by default all of them: the product (win32), the
# build run under Wine (win64), and the native tests with and without sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(win32 win64 native native-asan)
for p in "${presets[@]}"; do
    cmake --preset "$p" >/dev/null
    cmake --build --preset "$p"
done
