#!/usr/bin/env bash
# Smoke test of vesmora.exe under Wine: the program started with a sample study on
# a virtual X screen; "Centrer volume" clicked, the wheel turned over two views and
# "Résultats" clicked, all with real pointer events; the screen taken and the
# pictures on it compared, pixel for pixel, with the headless replay of the same
# actions; then the window closed with Ctrl+Q, and the exit status (0) and log.txt
# (equal to the headless run's) checked.
#
# Usage: wine_smoke.sh VESMORA_EXE HOST_BUILD WORKDIR
#   VESMORA_EXE  the cross-built program (make_rc, built with it, gives the layout)
#   HOST_BUILD   the Linux build tree: tools/vesmora-cli and samples/
#   WORKDIR      kept after the run: screen.png, the crops, both logs, wine.log, and
#                window.png (the window after "Sect. (%)", the README's picture)
# Exit status: 0 passed, 1 failed, 77 skipped (Wine, Xvfb, xdotool or ImageMagick missing).
# The whole run is bounded: Wine's first start of a fresh prefix by BOOT_LIMIT seconds,
# every wait below by its own limit.
set -uo pipefail

exe=$(readlink -f "$1")
host=$(readlink -f "$2")
work=$3
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
BOOT_LIMIT=${BOOT_LIMIT:-240}

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

wine=$(command -v wine || command -v wine64 || true)
[ -n "$wine" ] || skip "Wine is not installed (bash scripts/setup.sh installs wine64)"
for tool in Xvfb xdotool import compare convert; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (bash scripts/setup.sh installs it)"
done
cli=$host/tools/vesmora-cli
study=$host/samples/normal-64.dcm
make_rc=$(dirname "$exe")/make_rc
[ -x "$cli" ] || fail "no $cli: build the Linux tree first (cmake --build --preset default)"
[ -f "$study" ] || fail "no $study: the Linux build writes the sample studies"
[ -x "$make_rc" ] || fail "no $make_rc beside $exe"

rm -rf "$work"
mkdir -p "$work/app" "$work/headless"
work=$(readlink -f "$work")
tmp=$(mktemp -d)
xvfb_pid=""
wine_pid=""
cleanup() {
  [ -n "$wine_pid" ] && kill "$wine_pid" 2>/dev/null
  WINEPREFIX=$tmp/prefix timeout 20 wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

# --- the headless run of the same actions ------------------------------------------------
cp "$src/data/PALETS" "$work/headless/"
# The window's client area is at (60 + 3, 30 + 22) on screen in both runs (see below);
# the wheel points are screen pixels: view 3 at client (700, 150), view 2 at (400, 150).
cat > "$work/headless/actions.replay" <<EOF
open $study
command 24
wheel 763 202 120
wheel 463 202 -120
wheel 463 202 -120
command 45
dump pictures $work/headless
close
EOF
"$cli" replay "$work/headless/actions.replay" --app-folder "$work/headless" > "$work/headless/replay.out" 2>&1 ||
  fail "the headless replay failed: $(cat "$work/headless/replay.out")"

# --- a virtual screen and a fresh Wine prefix ------------------------------------------
exec 5> "$tmp/display"
Xvfb -displayfd 5 -screen 0 1024x860x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$(head -n1 "$tmp/display")
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
echo "Wine prefix in $WINEPREFIX, display $DISPLAY"
start=$(date +%s)
# A fresh prefix's first start now and then ends in "ShellExecuteEx failed: Internal error" after
# a few seconds (seen once so far); it is tried once more on a new prefix then.
boot() {
  rm -rf "$WINEPREFIX"
  timeout "$BOOT_LIMIT" "$wine" wineboot -i >> "$work/wine.log" 2>&1
}
if ! boot; then
  echo "Wine's first start failed: $(tail -n1 "$work/wine.log"); once more on a new prefix"
  timeout 20 wineserver -k 2>/dev/null
  boot || fail "Wine's first start took over ${BOOT_LIMIT} s or failed, twice"
fi
# Wine draws the window's frame itself (there is no window manager on this screen).
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >> "$work/wine.log" 2>&1
timeout 60 wineserver -w
echo "Wine prefix ready in $(( $(date +%s) - start )) s"

# --- the program, with the study on its command line ----------------------------------
cp "$exe" "$src/data/PALETS" "$work/app/"
cp "$study" "$work/app/study.dcm"
(cd "$work/app" && exec "$wine" vesmora.exe study.dcm >> "$work/wine.log" 2>&1) &
wine_pid=$!

wid=""
for _ in $(seq 1 120); do
  wid=$(xdotool search --onlyvisible --class vesmora.exe 2>/dev/null | head -n1)
  [ -n "$wid" ] && break
  sleep 0.5
done
[ -n "$wid" ] || fail "no window within 60 s"
# The study is read once its last text is in the log.
for _ in $(seq 1 120); do
  grep -q "Max data" "$work/app/log.txt" 2>/dev/null && break
  sleep 0.5
done
grep -q "Max data" "$work/app/log.txt" 2>/dev/null || fail "the study was not read within 60 s"

# The window puts its client area at (60 + 3, 30 + 22): the program's place and frame.
cx=63
cy=52
click() {  # click the centre of main-window control $1
  read -r l t w h < <("$make_rc" --rect "$1")
  xdotool mousemove --sync $((cx + l + w / 2)) $((cy + t + h / 2)) click 1
}
sleep 1
click 24   # "Centrer volume"
sleep 1
# The wheel, one notch at a time: up over view 3, down twice over view 2.
xdotool mousemove --sync $((cx + 700)) $((cy + 150)) click 4
sleep 0.5
xdotool mousemove --sync $((cx + 400)) $((cy + 150)) click 5
sleep 0.5
xdotool click 5
sleep 1
click 45   # "Résultats"
xdotool mousemove --sync 1000 840  # out of the window, off every picture

# --- the pictures on screen against the headless ones ----------------------------------
# control id, headless dump
pictures="1:BMPhla 2:BMPvla 3:BMPsa 48:BMPshla 47:BMPsvla 49:BMPssa 60:BMPpal 46:BMPres"
ok=0
for attempt in $(seq 1 30); do
  sleep 1
  import -window root "$work/screen.png"
  bad=""
  for p in $pictures; do
    id=${p%%:*}
    name=${p##*:}
    read -r l t w h < <("$make_rc" --rect "$id")
    convert "$work/screen.png" -crop "${w}x${h}+$((cx + l))+$((cy + t))" +repage "$work/$name.png"
    diff=$(compare -metric AE "$work/$name.png" "$work/headless/$name.bmp" null: 2>&1)
    [ "$diff" = "0" ] || bad="$bad $name($diff pixels differ)"
  done
  if [ -z "$bad" ]; then ok=1; break; fi
done
[ "$ok" = 1 ] || fail "pictures on screen differ from the headless replay:$bad"
echo "8 pictures on screen equal the headless replay's (after ${attempt} s)"

# --- the picture of the window for the README: the sector percentages, labels shown -----
click 56   # "Sect. (%)"
xdotool mousemove --sync 1000 840
sleep 2
eval "$(xdotool getwindowgeometry --shell "$wid")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/window.png"

# --- close with Ctrl+Q, the exit status and the log ------------------------------------
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key --clearmodifiers ctrl+q
status=""
for _ in $(seq 1 40); do
  if ! kill -0 "$wine_pid" 2>/dev/null; then
    wait "$wine_pid"
    status=$?
    break
  fi
  sleep 0.5
done
wine_pid_left=$wine_pid
wine_pid=""
[ -n "$status" ] || { kill "$wine_pid_left" 2>/dev/null; fail "the program did not end within 20 s of Ctrl+Q"; }
[ "$status" = 0 ] || fail "exit status $status"
# Windows writes the log in text mode: its lines end in CR LF.
tr -d '\r' < "$work/app/log.txt" > "$work/log-wine.txt"
cmp -s "$work/log-wine.txt" "$work/headless/log.txt" ||
  fail "log.txt differs from the headless run's: $(diff "$work/headless/log.txt" "$work/log-wine.txt" | head -20)"
grep -q $'\r$' "$work/app/log.txt" || fail "log.txt lines do not end in CR LF"
echo "PASSED: exit status 0, log.txt equal to the headless run's ($(wc -l < "$work/log-wine.txt") lines)"
