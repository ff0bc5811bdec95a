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
# Once the volume loader lands, this becomes:
#   build/default/tools/vesmora-cli load samples/normal-64.dcm --app-folder "$out"
build/default/tools/vesmora-cli header samples/normal-64.dcm --app-folder "$out"
