#!/bin/sh
# wineboot.sh PREFIX: a fresh wine prefix for the Windows tests.
# On a loaded machine wineboot now and then gives up half-way through its first start (a helper
# program of it is reported missing) and leaves a prefix that may lack parts; one more attempt in
# a clean directory has always done. The environment (WINEDEBUG, WINEDLLOVERRIDES) comes from the
# test.
set -u
prefix=$1
export WINEPREFIX="$prefix"
for attempt in 1 2; do
    rm -rf "$prefix"
    if wineboot --init && wineserver -w; then
        exit 0
    fi
    echo "wineboot.sh: wineboot failed (attempt $attempt)" >&2
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
done
exit 1
