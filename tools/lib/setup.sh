# Shared by tools/test and tools/demo: machine set-up, the build, and the Wine
# platform the programs run on. Expects ROOT, BUILD_DIR, DEPS_DIR and JOBS.

PACKAGES=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev wine wine64 xvfb 7zip
  osslsigncode dpkg-dev make perl patch bc unzip cmake ninja-build googletest clang-format python3 curl)

# Prints a source entry for every binary entry the machine's apt is set up with
# (the same addresses, suites, components and keys), in deb822 form, so that
# source packages come from wherever this machine gets its packages.
write_source_entries() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "$f" != "$src_list" ] || continue
    # Paragraph mode: one stanza a record. Disabled stanzas and those that
    # already carry sources are left alone.
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
      /(^|\n)[Ee]nabled:[ \t]*no/ { next }
      /(^|\n)Types:[^\n]*deb-src/ { next }
      /(^|\n)Types:[^\n]*deb([ \t]|\n|$)/ {
        sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    # One-line form: "deb [options] URI suite component..."
    awk '$1 == "deb" {
      i = 2; opts = ""
      if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) { opts = opts " " $i; i++ }
                        opts = opts " " $i; i++ }
      uri = $i; suite = $(i + 1); comps = ""
      for (j = i + 2; j <= NF; j++) comps = comps " " $j
      if (uri == "" || suite == "") next
      key = ""
      if (match(opts, /signed-by=[^] ]*/)) key = substr(opts, RSTART + 10, RLENGTH - 10)
      printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:%s\n", uri, suite, comps
      if (key != "") printf "Signed-By: %s\n", key
      printf "\n" }' "$f"
  done
}

# Installs the Debian packages and enables the source packages that the
# dependency build needs. Does nothing when everything is already there.
install_packages() {
  local missing=() p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$p")
  done
  local src_list=/etc/apt/sources.list.d/vexlo-deb-src.sources
  if [ ${#missing[@]} -eq 0 ] && [ -f "$src_list" ]; then return 0; fi
  if [ "$(id -u)" != 0 ]; then
    echo "tools: missing packages (${missing[*]:-deb-src}); run as root once" >&2
    exit 1
  fi
  [ -f "$src_list" ] || write_source_entries >"$src_list"
  echo "tools: installing ${missing[*]:-nothing new} (apt-get)"
  apt-get update -qq >/dev/null
  if [ ${#missing[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null
  fi
}

# Runs in one build folder share its Wine prefix, and each run stops the
# prefix's server at its end: that stop ended the tests of a run beside it
# (a test program starting died of the server's signal in 0.02 s with no
# output; one under way ended at once, with status 0 or 1, half done), and
# two builds in one folder trip over each other. So one run at a time: the
# script runs again under a lock of the folder, which waits for a run
# already there. The lock is held by flock alone, never by the programs the
# run starts, so a Wine process that outlives its run does not keep it.
# Call with the script's arguments.
hold_build_folder() {
  local lock="$BUILD_DIR/.vexlo-run.lock"
  if [ "${VEXLO_BUILD_FOLDER_HELD:-}" = "$lock" ]; then return 0; fi
  mkdir -p "$BUILD_DIR"
  export VEXLO_BUILD_FOLDER_HELD="$lock"
  if ! flock -n "$lock" true; then
    echo "tools: another run uses $BUILD_DIR; waiting for it to end" \
      "(at most 2 hours, then this run fails)" >&2
  fi
  # A whole run takes minutes; a holder past the bound is stuck, not slow.
  exec flock -o -w 7200 "$lock" "$0" "$@"
}

configure_and_build() {
  mkdir -p "$BUILD_DIR"
  export WINEPREFIX="$BUILD_DIR/wineprefix"
  if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw.cmake" \
      -DVEXLO_DEPS_PREFIX="$DEPS_DIR/prefix" >"$BUILD_DIR/configure.log" 2>&1 ||
      { cat "$BUILD_DIR/configure.log" >&2; exit 1; }
  fi
  cmake --build "$BUILD_DIR" -j"$JOBS"
}

# Runs a Wine command with the address layout tools/wine-run gives the
# loader (see there): with a randomized one, a start can end at once, with
# status 1 and nothing printed. The prefix's own processes (services, the
# desktop) start from these commands and keep the setting.
wine_fixed_layout() { setarch --addr-no-randomize "$@"; }

# A private Wine prefix that ends crashing programs at once with a failure
# status (no debugger, no dialog), a persistent wineserver so that each test
# does not pay Wine's start-up, and a virtual display for windows (unless
# USE_DISPLAY is 1). Returns
# only once all of it is up: a platform that does not come up stops the run
# here, with the reason, rather than showing later as tests lost at start.
start_test_platform() {
  export WINEPREFIX="$BUILD_DIR/wineprefix" WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/.vexlo-ready" ]; then
    rm -rf "$WINEPREFIX"
    if ! wine_fixed_layout wineboot --init >/dev/null 2>&1; then
      echo "tools: making the Wine prefix failed" >&2
      return 1
    fi
    # Each setting must be made: the prefix is kept once marked ready. The
    # last: no window manager runs on the virtual display, and windows that
    # Wine leaves to one wait 2 s for it each time they are hidden.
    if ! wine_fixed_layout wine reg add \
      'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Debugger /t REG_SZ /d "" /f >/dev/null 2>&1 ||
      ! wine_fixed_layout wine reg add \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Auto /t REG_SZ /d 1 /f >/dev/null 2>&1 ||
      ! wine_fixed_layout wine reg add 'HKCU\Software\Wine\X11 Driver' \
        /v Managed /t REG_SZ /d N /f >/dev/null 2>&1; then
      echo "tools: setting up the Wine prefix failed" >&2
      return 1
    fi
    wineserver -w
    touch "$WINEPREFIX/.vexlo-ready"
  fi
  keep_shell_folders_in_prefix
  XVFB_PID=""
  # USE_DISPLAY=1 keeps the caller's working display, for people to watch.
  if [ "${USE_DISPLAY:-0}" != 1 ]; then
    start_virtual_display || return 1
  fi
  # A wineserver already serving this prefix (a run beside this one) will do.
  wineserver -p </dev/null >/dev/null 2>&1 || true
  # The service manager answers only once the prefix's services have started,
  # so no test starts while the first Wine processes of the session are still
  # coming up.
  if ! wine_fixed_layout wine net start </dev/null >/dev/null 2>&1; then
    echo "tools: the Wine prefix's services did not start" >&2
    return 1
  fi
  start_desktop_keeper
}

# Wine starts the prefix's desktop process for the first program that needs
# one, and that process inherits the program's output: started by a test, it
# held ctest's pipe of that test, and ctest waited for the desktop to end,
# which it does only once no program of the prefix uses it. A console kept
# waiting for input, its output discarded, starts the desktop and keeps it up
# for the whole run. It reads a FIFO whose only writer is this shell, so it
# ends with the run however the run ends.
start_desktop_keeper() {
  local fifo="$BUILD_DIR/desktop-keeper.fifo"
  rm -f "$fifo"
  mkfifo "$fifo" || return 0
  wine_fixed_layout wine cmd.exe /k <"$fifo" >/dev/null 2>&1 &
  exec {DESKTOP_KEEPER_FD}>"$fifo"
  rm -f "$fifo"
  # No test may start before the desktop is the keeper's: a test that starts
  # it holds ctest until the time-out. On a loaded machine it has taken more
  # than 10 s to come up.
  local i pid
  for i in $(seq 600); do
    for pid in $(pgrep -f 'explorer.exe /desktop'); do
      if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null |
        grep -qxF "WINEPREFIX=$WINEPREFIX"; then
        return 0
      fi
    done
    sleep 0.1
  done
  echo "tools: no desktop process came up; a test may start it" >&2
}

start_virtual_display() {
  local fd_file="$BUILD_DIR/xvfb.display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fd_file" \
    >/dev/null 2>&1 &
  XVFB_PID=$!
  local i
  # Xvfb can take seconds to come up on a loaded machine.
  for i in $(seq 300); do [ -s "$fd_file" ] && break; sleep 0.1; done
  if [ ! -s "$fd_file" ]; then
    echo "tools: Xvfb reported no display within 30 s" >&2
    return 1
  fi
  export DISPLAY=":$(tr -d '\n' <"$fd_file")"
}

# Wine links the user's Desktop, Documents and the like to the host's home
# folder: shortcuts and files the tests make there would land in, and be
# deleted from, the real home. Each becomes a folder of the prefix's own.
keep_shell_folders_in_prefix() {
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then
      rm -f "$link" && mkdir -p "$link"
    fi
  done
}

stop_test_platform() {
  if [ -n "${DESKTOP_KEEPER_FD:-}" ]; then exec {DESKTOP_KEEPER_FD}>&-; fi
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${XVFB_PID:-}" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
}
