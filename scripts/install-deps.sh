#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test dependencies is missing.
# Usage: install-deps.sh [build|test]   (test adds the encoders, Wine, MinGW and clang)
set -euo pipefail
want=(build-essential cmake ninja-build zlib1g-dev libpng-dev libcli11-dev nlohmann-json3-dev)
if [ "${1:-build}" = test ]; then
  want+=(googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev
         djvulibre-bin libdjvulibre-dev minidjvu pdf2djvu imagemagick ghostscript libtiff-tools fonts-dejavu-core
         mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev wine64 wine)
fi
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
