#!/usr/bin/env bash
# The library as another program gets it: a static and a shared build are installed into
# prefixes of their own under build/examples; both examples are built against each, with
# CMake (find_package) and with pkg-config, run on examples/sample.djvu and checked against
# djvused and the installed tessaline. Then the API reference, where any Doxygen warning fails.
# Usage: scripts/examples.sh      Needs: install-deps.sh test
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
top=$PWD
work=$top/build/examples
sample=$top/examples/sample.djvu
rm -rf "$work"
mkdir -p "$work"

fail() { echo "examples.sh: $*" >&2; exit 1; }

# Only the public headers are installed, and each compiles on its own.
check_headers() {
  local include=$1/include/tessaline
  local want="djv_annotation.h djv_bookmark.h djv_chunk.h djv_document.h djv_iff.h djv_page.h djv_renderer.h
djv_text.h djv_types.h vtx_errorcodes.h vtx_exception.h vtx_memory.h vtx_stream.h vtx_string.h"
  [ "$(ls "$include" | tr '\n' ' ')" = "$(echo $want) " ] || fail "installed headers: $(ls "$include" | tr '\n' ' ')"
  for h in "$include"/*.h; do
    echo "#include \"$h\"" | g++ -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I"$include" -x c++ - ||
      fail "$h does not compile on its own"
  done
}

# The shared library: position-independent (no text relocations), a soname, the API exported,
# and the installed program finding it in the prefix.
check_shared() {
  local lib=$1/lib/libtessaline.so dynamic symbols used
  dynamic=$(readelf -d "$lib")
  symbols=$(nm -DC --defined-only "$lib")
  used=$(ldd "$1/bin/tessaline" | awk '$1 == "libtessaline.so.0" { print $3 }')
  grep -q 'SONAME.*libtessaline.so.0' <<<"$dynamic" || fail "$lib has no soname"
  ! grep -q TEXTREL <<<"$dynamic" || fail "$lib needs text relocations"
  grep -q 'Vantorix::DjVu::Document::create' <<<"$symbols" || fail "$lib does not export Document::create"
  [ "$(readlink -f "$used")" = "$(readlink -f "$lib.0")" ] || fail "the installed tessaline uses '$used', not $lib"
}

# pages against djvused; render_region against tessaline render --rect (same pixels).
check_examples() {
  local bin=$1 prefix=$2 listing size
  listing=$("$bin/pages" "$sample")
  grep -q "^[a-z]* document, $(djvused -e n "$sample") pages\$" <<<"$listing" || fail "$bin/pages: wrong page count"
  size=$(djvused -e 'select 1; size' "$sample" | sed -E 's/width=([0-9]+) height=([0-9]+).*/\1x\2/')
  grep -q "^page 1: $size, " <<<"$listing" || fail "$bin/pages: page 1 is not $size"
  "$bin/render_region" "$sample" 1 40 30 200 120 "$bin/region.ppm"
  "$prefix/bin/tessaline" render --page 1 --rect 40,30,200,120 --format ppm "$sample" "$bin/tessaline.ppm"
  cmp -s "$bin/region.ppm" "$bin/tessaline.ppm" || fail "$bin/render_region differs from tessaline render --rect"
  ! "$bin/pages" "$top/README.md" 2>/dev/null || fail "$bin/pages accepted a file that is not DjVu"
}

for kind in static shared; do
  shared=OFF pcstatic=--static
  [ $kind = shared ] && shared=ON pcstatic=
  prefix=$work/$kind/prefix
  cmake -S . -B "$work/$kind/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DBUILD_SHARED_LIBS=$shared -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib >/dev/null
  cmake --build "$work/$kind/build" -j "$(nproc)"
  cmake --install "$work/$kind/build" >/dev/null
  check_headers "$prefix"
  [ $kind = static ] || check_shared "$prefix"
  for tool in cmake pkg-config; do
    bin=$work/$kind/$tool
    mkdir -p "$bin"
    for example in pages render_region; do
      if [ $tool = cmake ]; then
        cmake -S examples/$example -B "$work/$kind/$example" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
        cmake --build "$work/$kind/$example" >/dev/null
        cp "$work/$kind/$example/$example" "$bin/"
      else
        # shellcheck disable=SC2046
        g++ -std=c++20 -O2 -o "$bin/$example" examples/$example/$example.cpp \
          $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config $pcstatic --cflags --libs tessaline) \
          -Wl,-rpath,"$prefix/lib"
      fi
    done
    check_examples "$bin" "$prefix"
    echo "examples: $kind library, $tool: ok"
  done
done

doxygen docs/Doxyfile
echo "examples: API reference in build/doc/html"
