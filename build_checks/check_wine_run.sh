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
# $1: the report's failures, or "none"; $2: "kill" or an exit status;
# $3: the suite and test the report names. Lines end in CR LF, as the test
# programs' C runtime writes them.
report=${GTEST_OUTPUT#json:Z:}
report=${report//\\//}
if [ "$1" != none ]; then
  printf '{\r\n  "tests": 1,\r\n  "failures": %s,\r\n  "disabled": 0,\r\n  "errors": 0,\r\n' \
    "$1" >"$report"
  printf '  "testsuites": [{"name": "%s",\r\n "testsuite": [{"name": "%s",}]}]\r\n}\r\n' \
    "${3%%.*}" "${3#*.}" >>"$report"
fi
if [ "$2" = kill ]; then kill -KILL $$; fi
exit "$2"
LOADER
chmod +x "$work/loader"

failed=0
# failures in the report, how the program ends, the test the report names,
# the filter of the run, expected status
while read -r failures end named filter expected; do
  (VEXLO_WINE_LOADER="$work/loader" WINEPREFIX="$work" \
    "$wine_run" "$failures" "$end" "$named" "--gtest_filter=$filter") \
    2>/dev/null
  status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "report $failures $named, end $end, run $filter: status $status," \
      "expected $expected"
    failed=1
  fi
done <<'CASES'
0 kill Any.Test Any.Test 0
0 kill Seeds/Any.Test/2 Seeds/Any.Test/2 0
1 kill Any.Test Any.Test 137
none kill Any.Test Any.Test 137
0 kill Child.Helper Any.Test 137
0 kill Any.Other Any.Test 137
0 kill Other.Test Any.Test 137
0 kill Any.Test Any.* 137
0 5 Any.Test Any.Test 5
0 0 Any.Test Any.Test 0
1 1 Any.Test Any.Test 1
CASES
exit $failed
