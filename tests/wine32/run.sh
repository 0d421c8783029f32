#!/usr/bin/env bash
# The wine32 group: the i686 deliverables Norbix.exe and keyprune.exe
# themselves, run under 32-bit Wine through QEMU's user-mode emulation, with
# the x86_64 UI probe reading their windows from the same prefix.
#
# Each 32-bit start costs minutes, so every run shares one prefix, and the
# keyprune runs go alongside the Norbix runs (they touch neither the same
# keys nor any file). Three phases, one Windows set-up each: XP English, XP
# Japanese (LC_ALL=ja_JP.UTF-8), 98.
#
# Prints PASS/FAIL lines, "wine32: N passed, N failed" and the total time;
# exits 1 when a check failed. When the emulation cannot be set up here it
# says why, skips the group and exits 0.
set -u
here=$(cd "$(dirname "$0")" && pwd)
begin=$(date +%s)
# Two shared cores: everything started from here yields to the others.
renice -n 10 -p $$ >/dev/null 2>&1

bash "$here/setup.sh"
case $? in
  0) ;;
  3) echo "wine32: skipped"; exit 0 ;;
  *) echo "FAIL wine32-setup"; echo "wine32: 0 passed, 1 failed"; exit 1 ;;
esac

source "$here/lib32.sh"
source "$here/norbix.sh"
source "$here/keyprune.sh"

TALLY=$(mktemp /tmp/norbix-wine32-tally.XXXXXX)
pass() { echo "PASS $1"; echo P >>"$TALLY"; }
fail() { echo "FAIL $1${2:+: $2}"; echo F >>"$TALLY"; }

summary() {
  local p f
  p=$(grep -c P "$TALLY")
  f=$(grep -c F "$TALLY")
  rm -f "$TALLY"
  echo "wine32: $p passed, $f failed"
  echo "wine32: total time $(($(date +%s) - begin)) s"
  [ "$f" -eq 0 ]
}

missing=""
for f in "$NORBIX" "$KEYPRUNE" "$PROBE" "$DFUTOOL"; do
  [ -f "$f" ] || missing="$missing $f"
done
if [ -n "$missing" ]; then
  fail wine32-build "missing:$missing (build the host, win32 and win64 presets)"
  summary
  exit 1
fi

# run_parallel JOB...: each job (function names run in order) in its own
# background shell; their reports are printed in job order once all ended.
# Every wait inside a job is bounded, so this is too.
run_parallel() {
  local pids=() outs=() job out i=0
  for job in "$@"; do
    out=$WINE_TMP/job.$i.out
    # Each job its own random sequence: the temporary names use $RANDOM.
    (RANDOM=$BASHPID; for f in $job; do $f; done) >"$out" 2>&1 &
    pids+=($!)
    outs+=("$out")
    i=$((i + 1))
  done
  for i in "${pids[@]}"; do wait "$i"; done
  cat "${outs[@]}"
}

japanese() { { export LC_ALL=ja_JP.UTF-8; } 2>/dev/null; }

kp_xp_parameter_english() { kp_parameter_box keyprune-xp-en en /V /E; }
kp_ja_parameter() {
  japanese
  kp_parameter_box keyprune-ja ja /V
  touch "$WINE_TMP/keyprune-ja.done"
}
norbix_ja() {
  japanese
  SHOTS=1 WAIT_FOR=$WINE_TMP/keyprune-ja.done norbix_through norbix-ja ja
}
norbix_win98() { norbix_through norbix-win98 en; }
ja_codepage() {
  probe acp
  local english=$PROBE_OUT
  (japanese; probe acp; check wine32-ja-codepage-932 test "$PROBE_OUT" = 932)
  check wine32-en-codepage-not-932 test "$english" != 932
}

# The prefix's 32-bit half is made by 32-bit processes too, so the
# emulation's address-space reservation must already be in force: without
# it every 32-bit start fails to map the shared user data (c0000018), and a
# prefix made without it lacks its 32-bit part (kernel32.dll, c0000135).
export QEMU_RESERVED_VA=0xf7000000
t=$(date +%s)
wine_begin
echo "-- prefix made in $(($(date +%s) - t)) s"

echo "-- Windows XP, English"
wine_version winxp
run_parallel "norbix_bad_file_and_second_copy norbix_xp_cancel" "kp_xp_remove kp_xp_parameter_english"

echo "-- Windows XP, Japanese"
ja_codepage
run_parallel norbix_ja kp_ja_parameter

echo "-- Windows 98"
wine_version win98
run_parallel norbix_win98 kp_win98_keep

wine_end
trap - EXIT
summary
