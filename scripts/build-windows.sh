#!/usr/bin/env bash
# Cross-builds the Windows program and makes the zip a user unpacks:
# build/windows/Vesmora-<version>-win64.zip, one folder with vesmora.exe, PALETS and,
# when the Linux build makes it, Aide.pdf.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

aide=()
# The help document comes from the Linux build, when it has the target that makes it.
cmake --preset default >/dev/null
if ninja -C build/default -t targets all 2>/dev/null | grep -q '^guide:'; then
  cmake --build --preset default --target guide -j "$(nproc)"
  pdf=$(find build/default -name Aide.pdf -print -quit)
  [ -n "$pdf" ] && aide=(-DVESMORA_AIDE_PDF="$PWD/$pdf")
fi
[ ${#aide[@]} -gt 0 ] || echo "No Aide.pdf from the Linux build: the zip holds vesmora.exe and PALETS."

cmake --preset windows "${aide[@]}" >/dev/null
cmake --build --preset windows -j "$(nproc)"
(cd build/windows && cpack -G ZIP >/dev/null)
zip=$(ls build/windows/Vesmora-*-win64.zip)
echo "Windows program: $zip"
python3 -m zipfile -l "$zip"
