#!/usr/bin/env bash
# Makes the README's picture of the desktop program: vesmora on a virtual X server
# with the normal 64-matrix sample study, the model placed ("Centrer volume"), the
# results computed ("Résultats") and the sector map shown ("Sect. (%)") in the Hot Iron
# palette, clicked
# with real pointer events. Needs a default build (bash scripts/run.sh makes one).
#   bash scripts/screenshot.sh [BUILD_DIR] [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
out=${2:-docs/vesmora-linux.png}

if [ -z "${VESMORA_SHOT_INNER:-}" ]; then
  VESMORA_SHOT_INNER=1 exec xvfb-run -a -s '-screen 0 1100x900x24' bash "$0" "$build" "$out"
fi

# No settings kept from an earlier run (palette, place): the picture shows the start values.
XDG_CONFIG_HOME=$(mktemp -d) "$build/platform/qt/vesmora" "$build/samples/normal-64.dcm" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
wid=$(xdotool search --sync --onlyvisible --name Vesmora | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$wid")"
# The client area is the window's lowest 751 rows (the menu bar is above it). Button
# centres in client pixels: dialog units x 2.25, y 2.5 (see src/layout.h).
cx=$X cy=$((Y + HEIGHT - 751))
click() { xdotool mousemove --sync $((cx + $1)) $((cy + $2)) click 1; sleep 0.5; }
click 135 450   # ">" beside "Palette", twice: Hot Iron
click 135 450
click 84 355    # "Centrer volume"
click 203 531   # "Résultats"
click 158 571   # "Sect. (%)"
xdotool mousemove --sync $((cx + 560)) $((cy + 450)); sleep 0.5  # hover text over a sector
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "wrote $out"
