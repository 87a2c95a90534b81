#!/usr/bin/env bash
# Builds everything and runs every test: the optimised build, the ASan+UBSan build (with the
# checked standard library) and the Windows cross-builds (64-bit tests under wine; the 32-bit
# build is only built: its tests would need wine32, see README).
# Usage: scripts/test.sh [PRESET...]   (release, asan, mingw, mingw32; default all four)
# Needs: apt-get (install-deps.sh test, and mingw for the Windows presets).
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- release asan mingw mingw32
modes=(test)
for preset in "$@"; do
  case $preset in
    release | asan) ;;
    mingw | mingw32) modes+=(mingw) ;;
    *) echo "test.sh: unknown preset '$preset' (release, asan, mingw, mingw32)" >&2; exit 2 ;;
  esac
done
scripts/install-deps.sh "${modes[@]}"
jobs=$(nproc)
for preset in "$@"; do
  echo "== $preset"
  # The presets leave the tests out (the main job needs none of their tools); they are on here,
  # except for the 32-bit build, whose test programs could not run.
  tests=ON; [ "$preset" = mingw32 ] && tests=OFF
  cmake --preset "$preset" -DVTX_BUILD_TESTS=$tests >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  [ $tests = OFF ] || ctest --preset "$preset" -j "$jobs"
  # The library as other programs install and link it, and its API reference.
  if [ "$preset" = release ]; then scripts/examples.sh; fi
done
