#!/usr/bin/env bash
# Installs or removes an installer package under wine (WINEPREFIX set by the caller) and checks
# what it left: the module file and its class key, or nothing of ours.
# Usage: msi.sh install|remove MSI machine|user
set -euo pipefail
action=${1:?}; msi=${2:?}; scope=${3:?}
clsid='{ADDBC783-A348-4A8D-87B9-0A9602492AE0}'
if [ "$scope" = machine ]; then
  classes='HKCR'; file="$WINEPREFIX/drive_c/Program Files/Tessaline/nimbrel.dll"
else
  classes='HKCU\Software\Classes'; file="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Tessaline/nimbrel.dll"
fi
# Every key that the package writes a value into; after removal none may remain.
keys=("CLSID\\$clsid" '.djvu\ShellEx\{E357FCCD-A995-4576-B01F-234630154E96}'
      '.djv\ShellEx\{E357FCCD-A995-4576-B01F-234630154E96}' 'AppID\nimbrel.DLL'
      'AppID\{DE3A4580-518D-4BA2-A9DD-EAC9BA24C090}' 'nimbrel.NimbrelV' 'nimbrel.NimbrelV.1'
      'TypeLib\{81020CE4-3925-455A-B114-E2012144047C}' 'Interface\{0ECBAFDB-8775-491E-9A41-5FC2F1014ACC}')
query() { wine reg query "$classes\\$1" "${@:2}" 2>/dev/null | tr -d '\r'; }
if [ "$action" = install ]; then
  wine msiexec /i "$msi" /qn
  test -f "$file" || { echo "not installed: $file"; exit 1; }
  for key in "${keys[@]}"; do
    query "$key" /ve >/dev/null || { echo "missing: $key"; exit 1; }
  done
  query "CLSID\\$clsid\\InprocServer32" /ve | grep -q 'Tessaline\\nimbrel.dll' || { echo "wrong module path"; exit 1; }
else
  wine msiexec /x "$msi" /qn
  test ! -e "$file" || { echo "left behind: $file"; exit 1; }
  for key in "${keys[@]}"; do
    if query "$key" >/dev/null; then echo "left behind: $key"; exit 1; fi
  done
fi
echo "$action $scope: ok"
