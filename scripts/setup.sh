#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
          python3 python3-pydicom python3-numpy dcmtk clang libclang-rt-14-dev libfuzzer-14-dev
          g++-mingw-w64-x86-64-posix wine wine64 xvfb xdotool imagemagick
          qt6-base-dev qt6-pdf-dev qt6-translations-l10n fonts-dejavu-core xauth poppler-utils desktop-file-utils
          dpkg-dev nlohmann-json3-dev libdcmtk-dev libssl-dev orthanc openssl)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
