# Norbix.exe (i686) scenarios of the wine32 group, sourced by run.sh. Each
# runs the deliverable itself, named Norbix.exe, from a folder on C: with
# one update file, and reads its windows with the x86_64 probe. Only one
# Norbix.exe may run at a time (the instance lock is named after the
# program), except where a second copy is the point.

# norbix_folder NAME good|bad: a program folder with one update file of
# version 2.05; "bad" has one byte of its image changed, so its check fails.
norbix_folder() {
  local dir=$WINEPREFIX/drive_c/$1
  mkdir -p "$dir"
  cp "$NORBIX" "$dir/Norbix.exe"
  "$DFUTOOL" make "$dir/UPDATE_KA.DFU" --version 2.05 >/dev/null || return 1
  if [ "$2" = bad ]; then
    printf '\x5a' | dd of="$dir/UPDATE_KA.DFU" bs=1 seek=4096 conv=notrunc status=none
    # Make sure the damage is one the check sees.
    "$DFUTOOL" check "$dir/UPDATE_KA.DFU" >/dev/null 2>&1 && return 1
  else
    "$DFUTOOL" check "$dir/UPDATE_KA.DFU" >/dev/null || return 1
  fi
  NORBIX_DIR=$dir
}

# norbix_start NAME: starts Norbix.exe from NORBIX_DIR, its current folder.
norbix_start() {
  local here=$PWD
  cd "$NORBIX_DIR" && w32_start "$1" "$NORBIX_DIR/Norbix.exe"
  cd "$here"
}

norbix_windows() {
  probe list --exe Norbix.exe
  NORBIX_WINDOWS=0
  [ "$PROBE_RC" -eq 0 ] && NORBIX_WINDOWS=$(printf '%s\n' "$PROBE_OUT" | grep -c '^window ')
}

note_first_window() { echo "-- $1: first window $(($(date +%s) - W32_STARTED)) s after the start"; }

# A bad update file: the check's message box and nothing else. While that
# box holds the first copy open, a second copy must end by itself without
# any window.
norbix_bad_file_and_second_copy() {
  norbix_folder norbix-bad bad || { fail norbix-bad-file-setup "could not make a damaged update file"; return; }
  local text caption
  text=$(updater_string 106 en) && caption=$(updater_string 105 en) || { fail norbix-catalog; return; }
  norbix_start norbix-bad
  local first=$W32_PID r
  await_window "$first" Norbix.exe "$text" "$FIRST_WINDOW_WAIT"
  r=$?
  if [ $r -ne 0 ]; then
    fail norbix-bad-file-box "$(why_not norbix-bad "$first" $r)"
    w32_stop "$first"
    return
  fi
  note_first_window norbix-bad
  check norbix-bad-file-box-caption test "$(window_title "$WINDOW_LIST")" = "$caption"
  check norbix-bad-file-box-text test "$(control_text "$WINDOW_LIST" 65535)" = "$text"

  norbix_start norbix-second
  local second=$W32_PID most=0 deadline=$(($(date +%s) + FIRST_WINDOW_WAIT))
  while w32_alive "$second" && [ "$(date +%s)" -lt "$deadline" ]; do
    norbix_windows
    [ "$NORBIX_WINDOWS" -gt "$most" ] && most=$NORBIX_WINDOWS
    sleep 2
  done
  if w32_wait_end "$second" 1; then
    echo "-- norbix-second: ended $(($(date +%s) - W32_STARTED)) s after the start"
    check norbix-second-copy-exit-0 test "$W32_RC" = 0
    check norbix-second-copy-no-window test "$most" -le 1
  else
    fail norbix-second-copy-ends "still running after $FIRST_WINDOW_WAIT s; windows seen: $most"
    w32_stop "$second"
  fi
  norbix_windows
  local still=no
  [ "$NORBIX_WINDOWS" -eq 1 ] && [ "$(control_text "$PROBE_OUT" 65535)" = "$text" ] && w32_alive "$first" && still=yes
  check norbix-first-copy-undisturbed test $still = yes

  probe click --exe Norbix.exe --id 1
  if w32_wait_end "$first" "$END_WAIT"; then
    check norbix-bad-file-ends-after-ok test "$W32_RC" = 0
  else
    fail norbix-bad-file-ends-after-ok "still running $END_WAIT s after OK"
    w32_stop "$first"
  fi
}

# attention_checks NAME LANG: the attention dialog in WINDOW_LIST.
attention_checks() {
  check "$1-attention-caption" test "$(window_title "$WINDOW_LIST")" = "$(dialog_caption 134 "$2")"
  check "$1-attention-text-102" test "$(control_text "$WINDOW_LIST" 1015)" = "$(updater_string 102 "$2")"
  check "$1-attention-ok-cancel" test "$(control_state "$WINDOW_LIST" 1)/$(control_state "$WINDOW_LIST" 2)" = \
    "visible=1 enabled=1/visible=1 enabled=1"
}

# main_checks NAME LANG: the main dialog in WINDOW_LIST, with no reader.
main_checks() {
  local version
  version=$(updater_string 205 "$2")
  check "$1-main-caption" test "$(window_title "$WINDOW_LIST")" = "$(dialog_caption 102 "$2")"
  check "$1-main-text-154" test "$(control_text "$WINDOW_LIST" 1017)" = "$(updater_string 154 "$2")"
  check "$1-main-text-154-shown" test "$(control_state "$WINDOW_LIST" 1017)" = "visible=1 enabled=1"
  check "$1-main-file-version" test "$(control_text "$WINDOW_LIST" 1005)" = "${version/\%s/2.05}"
  check "$1-main-start-update-disabled" test "$(control_state "$WINDOW_LIST" 1000)" = "visible=1 enabled=0"
  check "$1-main-end-enabled" test "$(control_state "$WINDOW_LIST" 1)" = "visible=1 enabled=1"
}

# Windows XP, English: Cancel in the attention dialog ends the program
# before anything is changed.
norbix_xp_cancel() {
  norbix_folder norbix-en good || { fail norbix-xp-setup "could not make the update file"; return; }
  windows_snapshot "$WINE_TMP/windows-before"
  norbix_start norbix-xp-en
  local pid=$W32_PID r
  await_window "$pid" Norbix.exe "control 1015 " "$FIRST_WINDOW_WAIT"
  r=$?
  if [ $r -ne 0 ]; then
    fail norbix-xp-attention "$(why_not norbix-xp-en "$pid" $r)"
    w32_stop "$pid"
    return
  fi
  note_first_window norbix-xp-en
  attention_checks norbix-xp en
  screenshot norbix-xp-en-attention
  probe click --exe Norbix.exe --id 2
  if w32_wait_end "$pid" "$END_WAIT"; then
    check norbix-xp-cancel-ends test "$W32_RC" = 0
  else
    fail norbix-xp-cancel-ends "still running $END_WAIT s after Cancel"
    w32_stop "$pid"
  fi
  windows_snapshot "$WINE_TMP/windows-after"
  if same_windows "$WINE_TMP/windows-before" "$WINE_TMP/windows-after"; then
    pass norbix-xp-cancel-windows-folder-unchanged
  else
    fail norbix-xp-cancel-windows-folder-unchanged "$(head -n 4 "$WINE_TMP/windows-after.diff" | tr '\n' ' ')"
  fi
}

# norbix_through NAME LANG: attention dialog, OK, main dialog, End. With
# SHOTS set, both dialogs are photographed (after WAIT_FOR, a file another
# scenario creates when its own windows are gone, exists).
norbix_through() {
  local name=$1 lang=$2 pid r
  norbix_folder "$name" good || { fail "$name-setup" "could not make the update file"; return; }
  norbix_start "$name"
  pid=$W32_PID
  await_window "$pid" Norbix.exe "control 1015 " "$FIRST_WINDOW_WAIT"
  r=$?
  if [ $r -ne 0 ]; then
    fail "$name-attention" "$(why_not "$name" "$pid" $r)"
    w32_stop "$pid"
    return
  fi
  note_first_window "$name"
  attention_checks "$name" "$lang"
  if [ -n "${SHOTS:-}" ]; then
    local deadline=$(($(date +%s) + NEXT_WINDOW_WAIT))
    while [ -n "${WAIT_FOR:-}" ] && [ ! -e "$WAIT_FOR" ] && [ "$(date +%s)" -lt "$deadline" ]; do sleep 2; done
    screenshot "$name-attention"
  fi
  probe click --exe Norbix.exe --id 1
  await_window "$pid" Norbix.exe "control 1017 " "$NEXT_WINDOW_WAIT"
  r=$?
  if [ $r -ne 0 ]; then
    fail "$name-main-dialog" "$(why_not "$name" "$pid" $r)"
    w32_stop "$pid"
    return
  fi
  pass "$name-main-dialog"
  main_checks "$name" "$lang"
  [ -n "${SHOTS:-}" ] && screenshot "$name-main"
  probe click --exe Norbix.exe --id 1
  if w32_wait_end "$pid" "$END_WAIT"; then
    check "$name-end-exit-0" test "$W32_RC" = 0
    norbix_windows
    check "$name-end-no-window-left" test "$NORBIX_WINDOWS" -eq 0
  else
    fail "$name-end" "still running $END_WAIT s after End"
    w32_stop "$pid"
  fi
}
