# Helpers of the wine32 group, on top of tests/wine/lib.sh: the i686
# deliverables started through the 32-bit Wine loader (emulated by QEMU),
# waits that are always bounded, and the expected texts read from the
# programs' own catalogs.
#
# Every 32-bit start costs minutes, so a scenario waits on the program's
# Linux process as well as on its windows: a program that ended early is
# reported at once instead of after the whole timeout.

source "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/../wine/lib.sh"

WINE32=/usr/lib/wine/wine
BUILD32=${WINE32_BUILD32:-$BUILD32}
BUILD64=${WINE32_BUILD64:-$BUILD64}
PROBE=$BUILD64/tests/wine/probe/uiprobe.exe
KEYTOOL=$BUILD64/tests/wine/keyprune/keytool.exe
NORBIX=$BUILD32/updater/Norbix.exe
KEYPRUNE=$BUILD32/keyprune/keyprune.exe
DFUTOOL=${WINE32_DFUTOOL:-$ROOT/build/host/tools/dfutool}
ARTIFACTS=$ROOT/artifacts/wine32
mkdir -p "$ARTIFACTS"

# Seconds: the first window of a 32-bit start, a later window of the same
# program, and a program's end after the last answer.
FIRST_WINDOW_WAIT=${WINE32_FIRST_WINDOW_WAIT:-600}
NEXT_WINDOW_WAIT=${WINE32_NEXT_WINDOW_WAIT:-300}
END_WAIT=${WINE32_END_WAIT:-300}

# w32_start NAME PROGRAM ARGS...: starts an i686 program in the background
# with its output in $ARTIFACTS/NAME.log (never a pipe: Wine's services
# would inherit it). Sets W32_PID and W32_LOG.
w32_start() {
  local name=$1
  shift
  W32_LOG=$ARTIFACTS/$name.log
  WINEDEBUG=-all,err+all "$WINE32" "$@" >"$W32_LOG" 2>&1 &
  W32_PID=$!
  W32_STARTED=$(date +%s)
}

# w32_alive PID
w32_alive() { kill -0 "$1" 2>/dev/null; }

# w32_wait_end PID SECONDS: waits for the program's end, at most SECONDS.
# Sets W32_RC to its exit code (or "running"). Returns 1 on timeout.
w32_wait_end() {
  local pid=$1 deadline=$(($(date +%s) + $2))
  while w32_alive "$pid"; do
    if [ "$(date +%s)" -ge "$deadline" ]; then
      W32_RC=running
      return 1
    fi
    sleep 1
  done
  wait "$pid"
  W32_RC=$?
  return 0
}

# w32_stop PID: ends a program that a failed scenario left running.
w32_stop() {
  w32_alive "$1" || return 0
  kill "$1" 2>/dev/null
  w32_wait_end "$1" 20 || kill -9 "$1" 2>/dev/null
}

# await_window PID EXE NEEDLE SECONDS: waits until a window of EXE whose
# listing (title and controls) contains NEEDLE is shown. Returns 1 on
# timeout and 2 when the program ended first. The listing is left in
# WINDOW_LIST.
await_window() {
  local pid=$1 exe=$2 needle=$3 deadline=$(($(date +%s) + $4))
  WINDOW_LIST=""
  while :; do
    probe wait --exe "$exe" --timeout 5
    if [ "$PROBE_RC" -eq 0 ]; then
      probe list --exe "$exe"
      WINDOW_LIST=$PROBE_OUT
      contains "$WINDOW_LIST" "$needle" && return 0
    fi
    w32_alive "$pid" || return 2
    [ "$(date +%s)" -ge "$deadline" ] && return 1
    sleep 1
  done
}

# why_not NAME PID RESULT: the reason text of a failed wait, with the
# program's last Wine or QEMU message when it has one.
why_not() {
  local log=$ARTIFACTS/$1.log what
  case $3 in
    1) what="no such window after $(($(date +%s) - W32_STARTED)) s" ;;
    2) wait "$2" 2>/dev/null; what="the program ended first (exit $?)" ;;
    *) what="result $3" ;;
  esac
  local said
  said=$(grep -v '^[[:space:]]*$' "$log" 2>/dev/null | tail -n 2 | tr '\n' ' ')
  [ -n "$said" ] && what="$what; it said: $said"
  [ -n "$WINDOW_LIST" ] && what="$what; windows: $(printf '%s' "$WINDOW_LIST" | head -n 1)"
  printf '%s' "$what"
}

# window_title LIST: the title of the first window in a probe listing.
window_title() {
  printf '%s\n' "$1" | sed -n '1s/^window exe=[^ ]* class="[^"]*" title="\(.*\)" visible=.*/\1/p'
}

# control_text LIST ID: the text of control ID in a probe listing.
control_text() {
  printf '%s\n' "$1" | sed -n "s/^  control $2 class=\"[^\"]*\" text=\"\\(.*\\)\" visible=[01] enabled=[01]\$/\\1/p" | head -n 1
}

# control_state LIST ID: "visible=V enabled=E" of control ID.
control_state() {
  printf '%s\n' "$1" | sed -n "s/^  control $2 class=.* \\(visible=[01] enabled=[01]\\)\$/\\1/p" | head -n 1
}

# The catalogs hold C literals that use only the escapes \\ \" \r \n \t,
# which the probe writes the same way, so a literal as written there is the
# expected probe text. Anything else in a literal would break that
# agreement, so it fails loudly instead of comparing wrongly.
literal_checked() {
  local rest=${1//\\\\/}
  rest=${rest//\\\"/}
  rest=${rest//\\r/}
  rest=${rest//\\n/}
  rest=${rest//\\t/}
  case $rest in
    *\\*) echo "unsupported escape in catalog literal: $1" >&2; return 1 ;;
  esac
  printf '%s' "$1"
}

LIT='"\(\([^"\\]\|\\.\)*\)"'

# updater_string ID en|ja: string ID of the updater's catalog.
updater_string() {
  local group=1
  [ "$2" = ja ] && group=3
  local text
  text=$(LC_ALL=C sed -zn "s/.*NORBIX_STRING($1,[[:space:]]*$LIT[[:space:]]*,[[:space:]]*$LIT).*/\\$group/p" \
    "$ROOT/updater/resources/catalog.def")
  [ -n "$text" ] || { echo "no updater string $1" >&2; return 1; }
  literal_checked "$text"
}

# dialog_caption ID en|ja: the caption of a dialog template.
dialog_caption() {
  local group=1
  [ "$2" = ja ] && group=3
  local text
  text=$(LC_ALL=C sed -zn "s/.*NORBIX_DIALOG($1,[[:space:]]*[A-Z]*,[[:space:]]*$LIT[[:space:]]*,[[:space:]]*$LIT.*/\\$group/p" \
    "$ROOT/updater/resources/dialogs.def")
  [ -n "$text" ] || { echo "no dialog $1" >&2; return 1; }
  literal_checked "$text"
}

# keyprune_string OFFSET en|ja: keyprune's message at that offset.
keyprune_string() {
  local group=1
  [ "$2" = ja ] && group=3
  local text
  text=$(LC_ALL=C sed -zn "s/.*KEYPRUNE_STRING($1, [0-9]*,[[:space:]]*$LIT[[:space:]]*,[[:space:]]*$LIT).*/\\$group/p" \
    "$ROOT/keyprune/resources/catalog.def")
  [ -n "$text" ] || { echo "no keyprune string $1" >&2; return 1; }
  literal_checked "$text"
}

# windows_snapshot FILE: every file and folder under the Windows folder with
# its size and checksum.
windows_snapshot() {
  (cd "$WINEPREFIX/drive_c/windows" &&
   find . -printf '%y %p %s\n' | LC_ALL=C sort >"$1.list" &&
   find . -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum >"$1.sums")
}

# same_windows A B: the two snapshots agree; the differences go to stdout.
same_windows() {
  diff "$1.list" "$2.list" >"$2.diff" && diff "$1.sums" "$2.sums" >>"$2.diff"
}
