#!/usr/bin/env bash
# Checks that the Wine programs of the test prefix (its services, its
# desktop, the test programs) run without address randomization, as
# tools/wine-run and tools/lib/setup.sh start them: with it, the loader can
# end a start at once, before the program runs (see tools/wine-run).
#   check_platform_layout.sh   (WINEPREFIX names the test prefix)
set -uo pipefail
: "${WINEPREFIX:?set WINEPREFIX to the test prefix}"
loader=$(readlink -f /usr/lib/wine/wine64)
failed=0
seen=""
for dir in /proc/[0-9]*; do
  { environ=$(tr '\0' '\n' <"$dir/environ") &&
    exe=$(readlink "$dir/exe") &&
    read -r persona <"$dir/personality" &&
    command=$(tr '\0' ' ' <"$dir/cmdline"); } 2>/dev/null || continue
  # Only the loader runs Windows programs: the server, the display and the
  # shells of the run share the prefix's environment without being one.
  [ "$exe" = "$loader" ] || continue
  grep -qxF "WINEPREFIX=$WINEPREFIX" <<<"$environ" || continue
  seen+="$command"$'\n'
  if ! (( 16#$persona & 16#0040000 )); then
    echo "runs with address randomization: $command"
    failed=1
  fi
done
# A check that found none of the platform's programs checked nothing.
for program in 'services.exe' 'explorer.exe /desktop'; do
  if ! grep -qF "$program" <<<"$seen"; then
    echo "no Wine program \"$program\" of $WINEPREFIX runs"
    failed=1
  fi
done
exit $failed
