#!/usr/bin/env bash
# Checks that runs of the tools in one build folder take turns: a second run
# waits, says so, and starts only once the first has ended; a program that a
# run leaves behind does not hold the folder.
#   check_run_lock.sh SETUP_SH
set -uo pipefail
setup=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# $1: the run's name; $2: "leave" to leave a program running behind it.
cat >"$work/run" <<RUN
#!/usr/bin/env bash
set -euo pipefail
BUILD_DIR="$work/build"
source "$setup"
hold_build_folder "\$@"
echo "start \$1" >>"$work/record"
if [ "\${2:-}" = leave ]; then sleep 30 >/dev/null 2>&1 & echo \$! >"$work/left"; fi
sleep 1
echo "end \$1" >>"$work/record"
RUN
chmod +x "$work/run"
unset VEXLO_BUILD_FOLDER_HELD

failed=0
"$work/run" first 2>"$work/first.err" &
first=$!
for _ in $(seq 100); do [ -s "$work/record" ] && break; sleep 0.1; done
"$work/run" second 2>"$work/second.err"
wait "$first"
if [ "$(cat "$work/record")" != "$(printf 'start first\nend first\nstart second\nend second')" ]; then
  echo "runs overlapped:"; cat "$work/record"; failed=1
fi
if ! grep -q "another run uses $work/build; waiting" "$work/second.err"; then
  echo "the second run did not say it waits"; failed=1
fi
if [ -s "$work/first.err" ]; then
  echo "the first run waited:"; cat "$work/first.err"; failed=1
fi

"$work/run" third leave 2>/dev/null
if ! flock -n "$work/build/.vexlo-run.lock" true; then
  echo "a program left running holds the build folder"; failed=1
fi
kill "$(cat "$work/left")" 2>/dev/null
exit $failed
