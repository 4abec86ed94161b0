#!/usr/bin/env bash
# Usage: check_file_alignment.sh BUILD_DIR OBJDUMP
# Fails when an .exe or .dll of the build has sections that do not start on
# a page boundary in the file: Wine reads such sections into memory instead
# of mapping them, which costs each process megabytes.
set -euo pipefail
build=$1 objdump=$2
# The demo's copies of the programs are as old as the last demo run.
count=0 bad=0
while IFS= read -r -d '' module; do
  count=$((count + 1))
  alignment=$("$objdump" -p "$module" | awk '$1 == "FileAlignment" { print $2 }')
  if [ "$((16#${alignment:-0}))" -lt 4096 ]; then
    echo "$module: file alignment ${alignment:-unknown}"
    bad=1
  fi
done < <(find "$build" \( -path "$build/wineprefix" -o -path "$build/demo" -o -name CMakeFiles \) -prune -o \
              \( -name '*.exe' -o -name '*.dll' \) -type f -print0)
[ "$count" -gt 0 ] || { echo "no modules found under $build"; exit 1; }
echo "$count modules checked"
exit "$bad"
