#!/usr/bin/env bash
# Windows programs import only DLLs that every Windows has: the C++ runtime, libgcc and
# winpthread are linked in, so the files run where they are copied.
# Usage: windows_imports.sh OBJDUMP FILE...
set -uo pipefail
objdump=$1
shift
system='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|windowscodecs|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
failures=0
for file in "$@"; do
    dlls=$("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p') || exit 1
    [ -n "$dlls" ] || { echo "FAIL: $file: no imports found"; failures=$((failures + 1)); }
    for dll in $dlls; do
        if ! grep -Eqi "$system" <<<"$dll"; then
            echo "FAIL: $file imports $dll"
            failures=$((failures + 1))
        fi
    done
    echo "$file:" $dlls
done
[ "$failures" -eq 0 ]
