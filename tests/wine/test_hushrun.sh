#!/usr/bin/env bash
# hushrun64 under Wine: "cmd /ccopy" of a bare file name resolved in the
# current folder, "cmd /cdel" of a full path, the launcher returning only
# after its command has ended, no window on the way, and the exit codes 0
# (nothing could be started) and 1 (the command ran).
set -u
source "$(dirname "$0")/lib.sh"
BUILD64=${WINE_BUILD64:-$BUILD64}
PROBE=$BUILD64/tests/wine/probe/uiprobe.exe
HUSHRUN=$BUILD64/hushrun64/hushrun64.exe
KEYTOOL=$BUILD64/tests/wine/keyprune/keytool.exe
for f in "$HUSHRUN" "$KEYTOOL" "$PROBE"; do
  [ -f "$f" ] || { fail "hushrun-build" "missing $f (build the win64 preset)"; exit 1; }
done

wine_begin
wine_version winxp64
work=$WINEPREFIX/drive_c/work
drivers=$WINEPREFIX/drive_c/windows/system32/drivers
mkdir -p "$work"
printf 'zandfu driver bytes\n' >"$work/zandfu.sys"
cp "$KEYTOOL" "$work/keytool.exe"
rm -f "$drivers/zandfu.sys"

# --- copy of a bare name: the launcher's current folder is the starter's
(cd "$work" && wine_exe "$HUSHRUN" cmd /ccopy zandfu.sys 'C:\windows\system32\drivers\zandfu.sys'
 echo "$WINE_RC" >"$work/rc")
check hushrun-copy-exit-1 test "$(cat "$work/rc")" = 1
check hushrun-copy-bare-name cmp -s "$work/zandfu.sys" "$drivers/zandfu.sys"

# --- copy overwrites what is there
printf 'newer bytes\n' >"$work/zandfu.sys"
(cd "$work" && wine_exe "$HUSHRUN" cmd /ccopy zandfu.sys 'C:\windows\system32\drivers\zandfu.sys')
check hushrun-copy-overwrites cmp -s "$work/zandfu.sys" "$drivers/zandfu.sys"

# --- del of a full path
wine_exe "$HUSHRUN" cmd /cdel 'C:\windows\system32\drivers\zandfu.sys'
check hushrun-del-exit-1 test "$WINE_RC" -eq 1
check hushrun-del-full-path test ! -e "$drivers/zandfu.sys"

# --- the launcher ends only after its command; no window meanwhile
rm -f "$work/done.txt"
# Separate words: Wine would quote a single argument with blanks, and the
# launcher passes its command line on as it is.
wine_start "$HUSHRUN" cmd '/cC:\work\keytool.exe' sleep 4000 'C:\work\done.txt'
pid=$WINE_PID
sleep 1.5
probe exes
check hushrun-command-running contains "$PROBE_OUT" keytool.exe
windows=""
for exe in hushrun64.exe cmd.exe keytool.exe conhost.exe; do
  probe list --exe "$exe"
  [ "$PROBE_RC" -eq 0 ] && windows="$windows $exe"
done
check hushrun-no-window test -z "$windows"
check hushrun-command-still-running test ! -e "$work/done.txt"
wait "$pid"
rc=$?
check hushrun-returns-after-command test -e "$work/done.txt"
check hushrun-wait-exit-1 test $rc -eq 1

# --- nothing to start: exit code 0
wine_exe "$HUSHRUN"
check hushrun-empty-exit-0 test "$WINE_RC" -eq 0
wine_exe "$HUSHRUN" 'C:\work\no-such-program.exe' /x
check hushrun-missing-program-exit-0 test "$WINE_RC" -eq 0

wine_finish
