#!/usr/bin/env bash
# Usage: check_imports.sh BUILD_DIR OBJDUMP
# Fails when an .exe or .dll of the build imports a DLL that is not part of
# Windows (such as the mingw runtime, libstdc++, zlib1 or libcrypto).
set -euo pipefail
build=$1 objdump=$2
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|shlwapi|version|userenv|winmm|psapi|msvcrt|ntdll|comctl32|comdlg32|uxtheme|gdiplus|msimg32|wininet|crypt32|wintrust|dbghelp|rpcrt4|ws2_32|bcrypt|secur32|taskschd|mstask|wbemuuid|propsys|netapi32|iphlpapi|msftedit|api-ms-win-[a-z0-9-]+)\.dll$'
# Our own DLLs may be imported: they are built here under the same rule.
# The Wine prefix is left out: tests make and remove folders there as this runs.
own=$(find "$build" -path "$build/wineprefix" -prune -o -name '*.dll' -type f \
  -printf '%f\n' | tr 'A-Z' 'a-z')
count=0 bad=0
while IFS= read -r -d '' module; do
  count=$((count + 1))
  while IFS= read -r dll; do
    lower=$(tr 'A-Z' 'a-z' <<<"$dll")
    if ! grep -Eq "$allowed" <<<"$lower" && ! grep -qxF "$lower" <<<"$own"; then
      echo "$module imports $dll"
      bad=1
    fi
  done < <("$objdump" -p "$module" | sed -n 's/.*DLL Name: //p')
done < <(find "$build" \( -path "$build/wineprefix" -o -name CMakeFiles \) -prune -o \
              \( -name '*.exe' -o -name '*.dll' \) -type f -print0)
[ "$count" -gt 0 ] || { echo "no modules found under $build"; exit 1; }
echo "$count modules checked"
exit "$bad"
