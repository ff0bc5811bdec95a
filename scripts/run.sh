#!/usr/bin/env bash
# Builds the program (which also writes the sample studies into build/default/samples/). With a
# display, opens the desktop program on the normal 64-matrix sample study. Without one, runs its
# main job headless: vesmora-cli analyze over the four 64-matrix sample studies, their 17 segments
# side by side with the summed scores and bands, and the reports written.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

desktop=build/default/platform/qt/vesmora
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$desktop" ]; then
  echo "Opening build/default/samples/normal-64.dcm in the desktop program ($desktop)"
  exec "$desktop" build/default/samples/normal-64.dcm
fi

out=build/default/analyse
# Without a display: the four 64-matrix sample studies (normal, then a defect in each coronary
# territory) analysed in one command, with the model placed automatically on each; the French PDF
# reports (STEM-rapport.pdf), the JSON records and the CSV table go to $out/.
build/default/tools/vesmora-cli analyze build/default/samples/{normal,lad,lcx,rca}-64.dcm \
  --pdf "$out" --json "$out/resultats.json" --csv "$out/resultats.csv"
echo
echo "JSON and CSV: $out/resultats.json, $out/resultats.csv"
echo "No display: this was the headless analysis. For the window, run on a desktop session"
echo "  $desktop build/default/samples/normal-64.dcm"
echo "or, without a desktop, under a virtual X server: xvfb-run -a $desktop build/default/samples/normal-64.dcm"
