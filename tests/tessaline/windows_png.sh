#!/usr/bin/env bash
# tessaline.exe under wine writes PNG files, one at a time, to standard output and in batch mode
# on threads, whose pixels equal those of the Linux build's PNG files for the same inputs.
# ImageMagick decodes both sides.
# Usage: windows_png.sh TESSALINE_EXE LINUX_TESSALINE FIXTURE_DIR WORK_DIR
set -uo pipefail
exe=$1 linux=$2 fixtures=$3 work=$4
[ -x "$linux" ] || { echo "$linux is missing: build the release preset first"; exit 1; }
rm -rf "$work" && mkdir -p "$work/win" "$work/linux" && cd "$work" || exit 1
# The Windows program reads "/..." as an option: it is given paths relative to here.
ln -s "$fixtures" f

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
win() { wine "$exe" "$@"; }
# Bit depth and colour type from the header, then the pixels as 8-bit RGB.
pngType() { od -An -tu1 -j24 -N2 "$1"; }
pixels() { convert "png:$1" -depth 8 ppm:-; }
same() { # WINDOWS_PNG LINUX_PNG
    [ -s "$1" ] || { fail "$1 was not written"; return; }
    [ "$(pngType "$1")" = "$(pngType "$2")" ] || fail "$1: depth and type $(pngType "$1"), Linux $(pngType "$2")"
    cmp -s <(pixels "$1") <(pixels "$2") || fail "$1: pixels differ from $2"
}

# Colour, grey and bitonal pages; rotated; a 1-pixel-wide column; a compound page.
cases=("container/photo.djvu 96" "container/rot90.djvu 96" "container/doc_rotated.djvu 200"
       "container/gray.djvu 150" "iw44/detail_grey.djvu 64" "jb2/cjb2_text300.djvu 256"
       "mmr/column.djvu 400" "container/text300.djvu 1024")
batch=()
for c in "${cases[@]}"; do
    read -r file size <<<"$c"
    name=$(basename "$file" .djvu)_$size.png
    win thumbnail -s "$size" "f/$file" "win/$name" || fail "thumbnail $file exited with $?"
    "$linux" thumbnail -s "$size" "$fixtures/$file" "linux/$name"
    same "win/$name" "linux/$name"
    [ "$file" = mmr/column.djvu ] || batch+=("f/$file") # too narrow for the batch size
done
win thumbnail -s 200 f/container/photo.djvu - >win/stdout.png
"$linux" thumbnail -s 200 "$fixtures/container/photo.djvu" - >linux/stdout.png
same win/stdout.png linux/stdout.png
win render --fit 300 f/container/doc_rotated.djvu win/render.png
"$linux" render --fit 300 "$fixtures/container/doc_rotated.djvu" linux/render.png
same win/render.png linux/render.png

# Batch mode: every picture on one of three threads, as the Linux build makes them.
win thumbnail -s 128 -j 3 --out-dir win/batch "${batch[@]}" || fail "batch exited with $?"
"$linux" thumbnail -s 128 -j 1 --out-dir linux/batch "${batch[@]/#f/$fixtures}"
for f in linux/batch/*.png; do same "win/batch/${f##*/}" "$f"; done

# A file that cannot be created fails without leaving anything behind.
win thumbnail f/container/photo.djvu missing/t.png 2>/dev/null && fail "writing into a missing folder succeeded"
[ ! -e missing ] || fail "a missing folder was made"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
