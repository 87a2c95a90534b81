#!/usr/bin/env bash
# Builds the release tools and prints what tessaline reads from the sample page.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target tessaline
build/release/tools/tessaline info examples/sample.djvu
