#!/usr/bin/env bash
# Installs or removes an installer package under wine (WINEPREFIX set by the caller) and checks
# what it left, for each module the package carries: the file, its keys in its registry view and
# the paths they name; or, after removal, nothing of ours.
# Usage: msi.sh install|remove MSI MODULE...
#   MODULE: x64 or x86 alone for all users; wow64: x86 beside x64, in the 32-bit view only what
#   lives there (classes, interfaces, its type library path); user: x64 for the current user
set -euo pipefail
action=${1:?}; msi=${2:?}; shift 2
clsid='{ADDBC783-A348-4A8D-87B9-0A9602492AE0}'
libid='{81020CE4-3925-455A-B114-E2012144047C}'
# Every key that a package writes a value into; after removal none may remain.
keys=("CLSID\\$clsid" '.djvu\ShellEx\{E357FCCD-A995-4576-B01F-234630154E96}'
      '.djv\ShellEx\{E357FCCD-A995-4576-B01F-234630154E96}' 'AppID\nimbrel.DLL'
      'AppID\{DE3A4580-518D-4BA2-A9DD-EAC9BA24C090}' 'nimbrel.NimbrelV' 'nimbrel.NimbrelV.1'
      "TypeLib\\$libid" 'Interface\{0ECBAFDB-8775-491E-9A41-5FC2F1014ACC}')
# query KEY [reg options]: the key under the module's classes root in its registry view.
query() { wine reg query "$classes\\$1" "${@:2}" /reg:$bits 2>/dev/null | tr -d '\r'; }
# The default value of KEY must be the module's installed path.
names_module() {
  query "$1" /ve | grep -qiF "REG_SZ    $path" || { echo "$module: $1 does not name $path"; exit 1; }
}
flag=/x; [ "$action" = install ] && flag=/i
wine msiexec $flag "$msi" /qn
for module in "$@"; do
  case $module in
    x64) classes='HKCR'; bits=64; path='C:\Program Files\Tessaline\nimbrel.dll' ;;
    x86 | wow64) classes='HKCR'; bits=32; path='C:\Program Files (x86)\Tessaline\nimbrel.dll' ;;
    user) classes='HKCU\Software\Classes'; bits=64; path="C:\\users\\$(id -un)\\AppData\\Local\\Tessaline\\nimbrel.dll" ;;
    *) echo "msi.sh: unknown module '$module'" >&2; exit 2 ;;
  esac
  file=$(wine winepath -u "$path" 2>/dev/null)
  if [ "$action" = install ]; then
    test -f "$file" || { echo "$module: not installed: $file"; exit 1; }
    checked=("${keys[@]}")
    [ "$module" != wow64 ] || checked=("${keys[0]}" "${keys[8]}")
    for key in "${checked[@]}"; do
      query "$key" /ve >/dev/null || { echo "$module: missing: $key"; exit 1; }
    done
    names_module "CLSID\\$clsid\\InprocServer32"
    names_module "TypeLib\\$libid\\1.0\\0\\win$bits"
  else
    test ! -e "$file" || { echo "$module: left behind: $file"; exit 1; }
    for key in "${keys[@]}"; do
      if query "$key" >/dev/null; then echo "$module: left behind: $key"; exit 1; fi
    done
  fi
done
echo "$action $*: ok"
