#!/usr/bin/env bash
# Builds everything and runs every test: the optimised build, the ASan+UBSan build (with the
# checked standard library) and the Windows cross-builds (64-bit tests under wine; the 32-bit
# build is only built: its tests would need wine32, see README; its DLL goes into the 64-bit
# installer, so it is built first), and under ThreadSanitizer only the library and its threading
# test.
# Usage: scripts/test.sh [PRESET...]   (release, asan, tsan, mingw32, mingw; default all five)
# Needs: apt-get (install-deps.sh test, and mingw for the Windows presets).
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- release asan tsan mingw32 mingw
modes=(test)
for preset in "$@"; do
  case $preset in
    release | asan | tsan) ;;
    mingw | mingw32) modes+=(mingw) ;;
    *) echo "test.sh: unknown preset '$preset' (release, asan, tsan, mingw, mingw32)" >&2; exit 2 ;;
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
  if [ "$preset" = tsan ]; then
    # The release build's fixtures when it has them: making them again would take minutes.
    [ -e build/tsan/fixtures ] || [ ! -d build/release/fixtures ] || ln -s ../release/fixtures build/tsan/fixtures
    cmake --build --preset tsan -j "$jobs" --target fixtures thread_tests
    ctest --preset tsan -j "$jobs" -R '^Threads\.'
    continue
  fi
  cmake --build --preset "$preset" -j "$jobs"
  [ $tests = OFF ] || ctest --preset "$preset" -j "$jobs"
  # The library as other programs install and link it, and its API reference.
  if [ "$preset" = release ]; then scripts/examples.sh; fi
done
