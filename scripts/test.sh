#!/usr/bin/env bash
# Builds everything and runs every test: the optimised build, the ASan+UBSan build and the
# Windows cross-build (tests under wine).
# Usage: scripts/test.sh [PRESET...]   (release, asan, mingw; default all three)
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- release asan mingw
modes=(test)
for preset in "$@"; do
  case $preset in
    release | asan) ;;
    mingw) modes+=(mingw) ;;
    *) echo "test.sh: unknown preset '$preset' (release, asan, mingw)" >&2; exit 2 ;;
  esac
done
scripts/install-deps.sh "${modes[@]}"
jobs=$(nproc)
for preset in "$@"; do
  echo "== $preset"
  # The presets leave the tests out (the main job needs none of their tools); they are on here.
  cmake --preset "$preset" -DVTX_BUILD_TESTS=ON >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
