#!/usr/bin/env bash
# Builds the program (which also writes the sample studies into build/default/samples/). With a
# display, opens the desktop program on the normal 64-matrix sample study. Without one, runs its
# main job headless: the example analysis of that study, replayed as a user would make it, then
# its 17 sector percentages and scores.
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

out=build/default/run
mkdir -p "$out"
# The program folder is the tool's own (the build puts PALETS there); log.txt is written there too.
build/default/tools/vesmora-cli replay examples/analysis.replay

echo "Analysis of build/default/samples/normal-64.dcm (pictures and dumps in $out/):"
awk '
  $1 == "SECTEUR" { for (n = 1; n <= 17; n++) pct[n] = $(n + 2) }
  $1 == "SCORE"   { for (n = 1; n <= 17; n++) score[n] = $(n + 2) }
  END {
    split("Basal - anterior|Basal - anteroseptal|Basal - inferoseptal|Basal - inferior|Basal - inferolateral|Basal - anterolateral|Mid - anterior|Mid - anteroseptal|Mid - inferoseptal|Mid - inferior|Mid - inferolateral|Mid - anterolateral|Apical - anterior|Apical - septal|Apical - inferior|Apical - lateral|Apex", name, "|")
    printf "%-8s %-24s %8s %6s\n", "Secteur", "", "%", "Score"
    for (n = 1; n <= 17; n++) printf "%-8d %-24s %8.1f %6d\n", n, name[n], pct[n], score[n]
  }' "$out/state.txt"
echo
echo "No display: this was the headless analysis. For the window, run on a desktop session"
echo "  $desktop build/default/samples/normal-64.dcm"
echo "or, without a desktop, under a virtual X server: xvfb-run -a $desktop build/default/samples/normal-64.dcm"
