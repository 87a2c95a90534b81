#!/usr/bin/env bash
# Builds everything and runs every test: the optimised build, the ASan+UBSan build and the
# Windows cross-builds (64-bit tests under wine; the 32-bit build only built).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
jobs=$(nproc)
for preset in release asan; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
# The Windows build: library, sdk and unit tests, the tests run under wine.
echo "== mingw"
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$jobs"
ctest --preset mingw -j "$jobs"
# The 32-bit Windows build: its tests would need wine32 (see README).
echo "== mingw32"
cmake --preset mingw32 >/dev/null
cmake --build --preset mingw32 -j "$jobs"
