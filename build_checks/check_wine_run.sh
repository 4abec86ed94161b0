#!/usr/bin/env bash
# Checks how tools/wine-run ends a test run, with a stand-in for Wine's loader
# that writes the test report it is given (or none) and then ends as told.
#   check_wine_run.sh WINE_RUN
set -uo pipefail
wine_run=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/loader" <<'LOADER'
#!/usr/bin/env bash
# $1: the report's failures, or "none"; $2: "kill" or an exit status.
report=${GTEST_OUTPUT#json:Z:}
report=${report//\\//}
if [ "$1" != none ]; then
  printf '{\n  "tests": 2,\n  "failures": %s,\n  "disabled": 0,\n  "errors": 0,\n}\n' \
    "$1" >"$report"
fi
if [ "$2" = kill ]; then kill -KILL $$; fi
exit "$2"
LOADER
chmod +x "$work/loader"

failed=0
# failures in the report, how the program ends, expected status
while read -r failures end expected; do
  VEXLO_WINE_LOADER="$work/loader" WINEPREFIX="$work" \
    "$wine_run" "$failures" "$end" --gtest_filter=Any.Test 2>/dev/null
  status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "report $failures, end $end: status $status, expected $expected"
    failed=1
  fi
done <<'CASES'
0 kill 0
1 kill 137
none kill 137
0 5 5
0 0 0
1 1 1
CASES
exit $failed
