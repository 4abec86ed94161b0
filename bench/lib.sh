# Helpers the bench scripts share; sourced, not run.

now_ns() { date +%s%N; }

win_path() { echo "Z:${1//\//\\}"; }

# Runs a command that must end within SECONDS; one that does not is killed
# and the whole bench fails with a message naming it.
#   bounded SECONDS NAME COMMAND...
bounded() {
  local limit=$1 name=$2 status=0
  shift 2
  timeout --kill-after=10 "$limit" "$@" || status=$?
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "$BENCH_NAME: $name did not end within $limit s" >&2
    exit 1
  fi
  return "$status"
}

# Reads one number a line and prints "min median" of them.
min_median() {
  sort -g | awk '
    { value[NR] = $1 }
    END {
      if (NR == 0) { print "no values" > "/dev/stderr"; exit 1 }
      median = NR % 2 ? value[(NR + 1) / 2] : (value[NR / 2] + value[NR / 2 + 1]) / 2
      printf "%.4f %.4f\n", value[1], median
    }'
}

# A private Wine prefix for benches that install (the tests' registry stays
# as it was), made once beside the build folder (or BENCH_WINEPREFIX), and a server that stays up
# between the passes, so that no pass pays for starting it. The prefix's own
# services keep that server running after the last pass: stop_bench_wine
# ends both when the bench ends (so one bench at a time per prefix).
start_bench_wine() {
  export WINEPREFIX=${BENCH_WINEPREFIX:-$(dirname "$BUILD_DIR")/bench-wineprefix}
  export WINEARCH=win64
  export WINEDEBUG=${WINEDEBUG:--all}
  if [ ! -f "$WINEPREFIX/.vexlo-ready" ]; then
    rm -rf "$WINEPREFIX"
    bounded 300 wineboot setarch --addr-no-randomize wineboot --init >/dev/null 2>&1
    bounded 300 "wineserver -w" wineserver -w
    touch "$WINEPREFIX/.vexlo-ready"
  fi
  # Fails, harmlessly, when the server is up already.
  wineserver -p 30 </dev/null >/dev/null 2>&1 || true
  # The server and Wine's own service processes outlive the program that
  # starts them and keep its output open: started by a pass, they held the
  # caller's pipe (`run_x | tail`) for minutes after the bench ended. A
  # program whose output goes nowhere starts them first.
  # Without address randomization, as tools/wine-run gives every pass: with
  # it, a Wine start can end at once with status 1 (see there).
  bounded 300 "wine start-up" setarch --addr-no-randomize wine cmd.exe /c exit </dev/null >/dev/null 2>&1
}

# Ends the bench prefix's server and the services it keeps running.
stop_bench_wine() {
  bounded 60 "wineserver -k" wineserver -k </dev/null >/dev/null 2>&1 || true
}
