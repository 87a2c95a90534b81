#!/usr/bin/env bash
# Writes the thumbnails that the Linux build's tessaline makes, as PPM files, for the Windows
# module's tests to compare with: OUT/<kind with / as _>_<size>.ppm.
# Usage: linux_thumbnails.sh TESSALINE FIXTURE_DIR OUT_DIR KIND...
set -euo pipefail
tessaline=${1:?}; fixtures=${2:?}; out=${3:?}; shift 3
if [ ! -x "$tessaline" ]; then
  echo "no Linux tessaline at $tessaline: build the release preset first" >&2
  exit 1
fi
mkdir -p "$out"
for kind in "$@"; do
  for size in 32 96 256 1024; do
    "$tessaline" thumbnail -s "$size" "$fixtures/$kind" "$out/${kind//\//_}_$size.ppm"
  done
done
