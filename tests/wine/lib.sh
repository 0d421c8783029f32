# Shared set-up of the Wine tests; sourced by run.sh and by each test_*.sh.
#
# A test script calls wine_begin once, then wine_exe/probe/screenshot, and
# wine_end at exit (wine_begin sets a trap). Everything runs in a throwaway
# prefix on its own Xvfb display; only processes started here are ended.

WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD64=$ROOT/build/win64
BUILD32=$ROOT/build/win32
PROBE=$BUILD64/tests/wine/probe/uiprobe.exe
ARTIFACTS=$ROOT/artifacts/wine
mkdir -p "$ARTIFACTS"

WINE_FAILED=0
XVFB_PID=""

wine_begin() {
  WINE_TMP=$(mktemp -d /tmp/norbix-wine.XXXXXX)
  export WINEPREFIX=$WINE_TMP/prefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # The first Wine process of a wineserver session must see the display.
  local n
  for n in $(seq 91 140); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=:$n
    break
  done
  local tries=0
  until [ -e /tmp/.X11-unix/X${DISPLAY#:} ] || [ $tries -ge 50 ]; do sleep 0.1; tries=$((tries + 1)); done
  trap wine_end EXIT
  "$WINESERVER" -p >/dev/null 2>&1
  "$WINE64" wineboot -i >/dev/null 2>&1
  # Captions in screenshots need Wine to draw them itself.
  "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  "$WINESERVER" -w
  "$WINESERVER" -p >/dev/null 2>&1
}

wine_end() {
  [ -n "${WINEPREFIX:-}" ] && "$WINESERVER" -k >/dev/null 2>&1
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  XVFB_PID=""
  [ -n "${WINE_TMP:-}" ] && rm -rf "$WINE_TMP"
  WINE_TMP=""
}

# wine_version win98|win2k|winxp|winxp64
wine_version() {
  "$WINE64" reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1
}

# Runs a Windows program to its end; stdout/stderr go to files, never a
# pipe (Wine's services would inherit it). Sets WINE_RC.
wine_exe() {
  local out=$WINE_TMP/out.$$.$RANDOM
  "$WINE64" "$@" >"$out" 2>&1
  WINE_RC=$?
  WINE_OUT=$(cat "$out")
  rm -f "$out"
}

# Starts a Windows program in the background; sets WINE_PID (the Linux pid
# of the loader, for waiting).
wine_start() {
  "$WINE64" "$@" >"$WINE_TMP/bg.$RANDOM" 2>&1 &
  WINE_PID=$!
}

# probe ARGS...: runs the UI probe; its output in PROBE_OUT, exit in PROBE_RC.
probe() {
  local out=$WINE_TMP/probe.$RANDOM
  "$WINE64" "$PROBE" "$@" >"$out" 2>/dev/null
  PROBE_RC=$?
  PROBE_OUT=$(tr -d '\r' <"$out")
  rm -f "$out"
}

screenshot() {
  xwd -root -silent -display "$DISPLAY" | convert xwd:- "$ARTIFACTS/$1.png"
}

pass() { echo "PASS $1"; }
fail() { echo "FAIL $1${2:+: $2}"; WINE_FAILED=1; }

# check NAME CONDITION...: passes when the command succeeds.
check() {
  local name=$1
  shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}

# contains TEXT NEEDLE
contains() { case "$1" in *"$2"*) return 0 ;; *) return 1 ;; esac; }

wine_finish() {
  wine_end
  trap - EXIT
  return $WINE_FAILED
}
