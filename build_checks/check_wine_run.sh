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
# "environment" instead: prints whether the address space is randomized and
# the debug channels it was given, and writes no report.
if [ "$1" = environment ]; then
  read -r persona </proc/self/personality
  if (( 16#$persona & 16#0040000 )); then echo "fixed $WINEDEBUG"
  else echo "randomized $WINEDEBUG"; fi
  exit 0
fi
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
none 0 Any.Test Any.Test 1
CASES

# The loader runs without address randomization, with or without a filter,
# and with the err channel of "virtual" on whatever debug channels the
# caller chose: the caller's WINEDEBUG, the filter, what the loader gets.
while read -r debug filter expected; do
  [ "$debug" = unset ] && debug_setting=() || debug_setting=("WINEDEBUG=$debug")
  [ "$filter" = none ] && filter_argument=() ||
    filter_argument=("--gtest_filter=$filter")
  got=$(env -u WINEDEBUG "${debug_setting[@]}" VEXLO_WINE_LOADER="$work/loader" \
    WINEPREFIX="$work" "$wine_run" environment "${filter_argument[@]}" \
    2>/dev/null)
  if [ "$got" != "$expected" ]; then
    echo "WINEDEBUG $debug, filter $filter: the loader got \"$got\"," \
      "expected \"$expected\""
    failed=1
  fi
done <<'CASES'
unset Any.Test fixed -all,err+virtual
unset none fixed -all,err+virtual
+relay Any.Test fixed +relay,err+virtual
warn+all none fixed warn+all,err+virtual
CASES
exit $failed
