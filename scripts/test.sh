#!/usr/bin/env bash
# Builds and runs every test twice, the optimised build and the sanitizer build; then
# runs each fuzz target (clang, libFuzzer) for a few seconds on its corpus, and
# cross-builds the Windows program and runs it under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
for preset in default asan; do
  echo "=== $preset build ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

echo "=== fuzz build ==="
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz

# The Windows program, cross-built, and its smoke test under Wine (which uses the
# default build's vesmora-cli and sample studies).
echo "=== windows build (MinGW-w64) and the Wine smoke test ==="
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
ctest --preset windows
