#!/usr/bin/env bash
# Installs, with apt-get, whatever of a job's Debian packages is missing.
# Usage: install-deps.sh MODE...
#   build   the compiler, CMake, Ninja and the libraries of the library and tessaline
#           (scripts/sample.sh)
#   test    build, GoogleTest, the DjVuLibre encoders and decoders, and every tool the fixture
#           scripts and the tests call: Python, ImageMagick, Ghostscript, libtiff's tools, the
#           shared MIME database, GNOME's thumbnail factory, and Doxygen and pkg-config for the
#           library's reference and examples (scripts/test.sh, scripts/examples.sh)
#   mingw   the Windows cross-build, the IDL compiler and Wine's IDL headers, wixl for the
#           installers, and wine to run its tests (scripts/test.sh mingw)
#   fuzz    test and clang (scripts/fuzz.sh)
#   bench   test, Google Benchmark and DjVuLibre's library (scripts/bench.sh)
#   fresh   debootstrap (scripts/fresh-check.sh)
set -euo pipefail
[ $# -gt 0 ] || set -- build
build=(build-essential cmake ninja-build zlib1g-dev libpng-dev libdeflate-dev libcli11-dev nlohmann-json3-dev)
test=("${build[@]}" googletest libgtest-dev libgmock-dev
      djvulibre-bin minidjvu pdf2djvu python3 imagemagick ghostscript libtiff-tools fonts-dejavu-core
      shared-mime-info python3-gi gir1.2-gnomedesktop-3.0 bubblewrap doxygen pkg-config)
want=()
for mode in "$@"; do
  case $mode in
    build) want+=("${build[@]}") ;;
    test) want+=("${test[@]}") ;;
    mingw) want+=("${build[@]}" googletest mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev wine64 wine
                  mingw-w64-tools libwine-dev wixl) ;;
    fuzz) want+=("${test[@]}" clang libclang-rt-dev) ;;
    bench) want+=("${test[@]}" libbenchmark-dev libdjvulibre-dev) ;;
    fresh) want+=(debootstrap) ;;
    *) echo "install-deps.sh: unknown mode '$mode' (build, test, mingw, fuzz, bench, fresh)" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
