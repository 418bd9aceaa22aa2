#!/usr/bin/env bash
# Builds the given presets, by default all of them: the product (win32), its
# 64-bit twin with the end-to-end tests' driver (win64), both with their
# simulator DLL and Windows-side tests, and the native tests with and without
# sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(win32 win64 native native-asan)
for p in "${presets[@]}"; do
    cmake --preset "$p" >/dev/null
    cmake --build --preset "$p"
done
