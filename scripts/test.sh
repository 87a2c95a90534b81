#!/usr/bin/env bash
# Builds everything and runs every test: the optimised build, the ASan+UBSan build (with the
# checked standard library) and the Windows cross-builds (64-bit tests under wine; the 32-bit
# build is only built: its tests would need wine32, see README; its DLL goes into the 64-bit
# installer, so it is built first).
# Usage: scripts/test.sh [PRESET...]   (release, asan, mingw32, mingw; default all four)
# Needs: apt-get (install-deps.sh test, and mingw for the Windows presets).
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- release asan mingw32 mingw
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
  options=(-DVTX_BUILD_TESTS=$tests)
  dll32=build/mingw32/bin/nimbrel.dll
  [ "$preset" != mingw ] || { [ -f $dll32 ] && options+=(-DNIMBREL_DLL32="$PWD/$dll32") || options+=(-DNIMBREL_DLL32=); }
  cmake --preset "$preset" "${options[@]}" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  [ $tests = OFF ] || ctest --preset "$preset" -j "$jobs"
done
