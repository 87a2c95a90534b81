#!/usr/bin/env bash
# Builds the release tools, prints what tessaline reads from the sample page and makes its
# thumbnail.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target tessaline
build/release/tools/tessaline info examples/sample.djvu
out=build/release/sample-thumbnail.png
build/release/tools/tessaline thumbnail examples/sample.djvu "$out"
echo "thumbnail (longer side 256 pixels) written to $out"
