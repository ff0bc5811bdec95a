#!/usr/bin/env bash
# Builds the program and runs its main job headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

out=build/default/run
mkdir -p "$out"
build/default/tools/vesmora-cli header tests/data/sample-header.dcm --app-folder "$out"
