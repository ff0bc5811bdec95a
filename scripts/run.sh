#!/usr/bin/env bash
# Builds the program (which also writes the sample studies into samples/) and runs its
# main job headless on one of them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

out=build/default/run
mkdir -p "$out"
cp data/PALETS "$out/"  # the palettes beside the program, as installed
build/default/tools/vesmora-cli load samples/normal-64.dcm --app-folder "$out"
