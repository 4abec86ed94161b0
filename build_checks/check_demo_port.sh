#!/usr/bin/env bash
# Checks that tools/demo, when the port its update server needs is taken,
# stops before it builds anything and says in one line what holds the port.
#   check_demo_port.sh DEMO
set -uo pipefail
demo=$1
work=$(mktemp -d)
holder=""
trap '[ -z "$holder" ] || kill "$holder" 2>/dev/null; rm -rf "$work"' EXIT

# Holds the port unless something else already does; the demo must name
# whichever holds it.
python3 -c '
import os, socket, sys, time
listener = socket.socket()
try:
    listener.bind(("127.0.0.1", 3000))
except OSError:
    sys.exit(0)
listener.listen(1)
open(sys.argv[1], "w").write("held")
while os.getppid() == int(sys.argv[2]):
    time.sleep(0.2)' "$work/held" $$ </dev/null >/dev/null 2>&1 &
holder=$!
for _ in $(seq 100); do
  [ -e "$work/held" ] || ! kill -0 "$holder" 2>/dev/null && break
  sleep 0.1
done

failed=0
# A demo that got past the check would build for minutes; the bound ends it.
(unset VEXLO_BUILD_FOLDER_HELD; BUILD_DIR="$work/build" timeout 120 "$demo") \
  >"$work/said" 2>&1 </dev/null
status=$?
if [ "$status" -eq 0 ] || [ "$status" -eq 124 ]; then
  echo "the demo ended with status $status"; failed=1
fi
if [ -e "$work/build/build.ninja" ] || [ -e "$work/build/wineprefix" ]; then
  echo "the demo went on to build or to start Wine"; failed=1
fi
if [ "$(grep -c . "$work/said")" -ne 1 ] ||
  ! grep -q '^tools/demo: port 3000 on localhost.* is held by process [0-9]' \
    "$work/said"; then
  echo "the demo did not say in one line what holds the port:"
  head -n 5 "$work/said"
  failed=1
fi
if [ -e "$work/held" ] && ! grep -q "process $holder (" "$work/said"; then
  echo "the demo did not name the process $holder that holds the port"; failed=1
fi
exit $failed
