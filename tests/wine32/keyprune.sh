# keyprune.exe (i686) scenarios of the wine32 group, sourced by run.sh.
# The tree lies below the device trees but uses ids the updater's own
# cleanup never removes, so a Norbix.exe running at the same time cannot
# take it away.

KP_USB='SYSTEM\CurrentControlSet\Enum\USB'
KP_DEV="$KP_USB\\Vid_2e51&Pid_22f7"
KP_SIBLING="$KP_USB\\Vid_2e51&Pid_22f8"
KP_CAPTION='Remove Registry Program'

kp_key_exists() { wine_exe reg query "HKLM\\$1"; [ "$WINE_RC" -eq 0 ]; }

# kp_make_tree PATH: a device tree of three levels. With the keyprune
# helper of the x86_64 Wine tests the keys get a device key's protection
# (owner Administrators, no write access for anyone), which keyprune must
# lift before it can delete; without it they are plain keys.
kp_make_tree() {
  local keys=("$1" "$1\\5&1a2b&0&1" "$1\\5&1a2b&0&1\\Device Parameters" "$1\\6&99&0&2"
              "$1\\6&99&0&2\\Device Parameters")
  if [ -f "$KEYTOOL" ]; then
    wine_exe "$KEYTOOL" make "${keys[@]}"
    [ "$WINE_RC" -eq 0 ]
    return
  fi
  local k
  for k in "${keys[@]}"; do
    wine_exe reg add "HKLM\\$k" /v Mark /d 1 /f
    [ "$WINE_RC" -eq 0 ] || return 1
  done
}

kp_tree_maker() { [ -f "$KEYTOOL" ] && echo "keytool (protected keys)" || echo "reg add (plain keys)"; }

# kp_silent NAME ARGS...: keyprune without /V must end without a window.
# Sets KP_WINDOWS (windows seen) and W32_RC.
kp_silent() {
  local name=$1
  shift
  w32_start "$name" "$KEYPRUNE" "$@"
  local pid=$W32_PID deadline=$(($(date +%s) + FIRST_WINDOW_WAIT))
  KP_WINDOWS=0
  while w32_alive "$pid" && [ "$(date +%s)" -lt "$deadline" ]; do
    probe list --exe keyprune.exe
    [ "$PROBE_RC" -eq 0 ] && KP_WINDOWS=$((KP_WINDOWS + 1))
    sleep 2
  done
  if w32_wait_end "$pid" 1; then
    echo "-- $name: ended $(($(date +%s) - W32_STARTED)) s after the start"
    return 0
  fi
  fail "$name-ends" "still running after $FIRST_WINDOW_WAIT s"
  w32_stop "$pid"
  return 1
}

# Windows XP: the protected tree goes, its neighbour stays.
kp_xp_remove() {
  echo "-- keyprune trees made with $(kp_tree_maker)"
  if ! kp_make_tree "$KP_DEV" || ! kp_make_tree "$KP_SIBLING"; then
    fail keyprune-xp-setup "could not make the key trees: $WINE_OUT"
    return
  fi
  if [ -f "$KEYTOOL" ]; then
    # The keys really carry the protection: no one may set a value.
    wine_exe "$KEYTOOL" open "$KP_DEV\\6&99&0&2" 2
    check keyprune-xp-setup-protected test "$(printf '%s' "$WINE_OUT" | tr -d '\r')" = 5
  fi
  wine_exe reg query "HKLM\\$KP_SIBLING" /s
  local sibling_before=$WINE_OUT
  kp_silent keyprune-xp "$KP_DEV" || return
  check keyprune-xp-exit-0 test "$W32_RC" = 0
  check keyprune-xp-no-window test "$KP_WINDOWS" -eq 0
  check keyprune-xp-tree-removed test "$(kp_key_exists "$KP_DEV" && echo there)" = ""
  wine_exe reg query "HKLM\\$KP_SIBLING" /s
  check keyprune-xp-sibling-kept test "$WINE_OUT" = "$sibling_before"
}

# kp_parameter_box NAME LANG ARGS...: keyprune with /V and no path: the parameter
# error box in LANG, read, then dismissed with OK.
kp_parameter_box() {
  local name=$1 lang=$2 r
  shift 2
  w32_start "$name" "$KEYPRUNE" "$@"
  local pid=$W32_PID
  await_window "$pid" keyprune.exe "control 65535 " "$FIRST_WINDOW_WAIT"
  r=$?
  if [ $r -ne 0 ]; then
    fail "$name-parameter-error" "$(why_not "$name" "$pid" $r)"
    w32_stop "$pid"
    return
  fi
  echo "-- $name: first window $(($(date +%s) - W32_STARTED)) s after the start"
  check "$name-caption" test "$(window_title "$WINDOW_LIST")" = "$KP_CAPTION"
  check "$name-parameter-error" test "$(control_text "$WINDOW_LIST" 65535)" = "$(keyprune_string 28 "$lang")"
  probe click --exe keyprune.exe --title "$KP_CAPTION" --id 1
  if w32_wait_end "$pid" "$END_WAIT"; then
    check "$name-dismissed" test "$W32_RC" = 0
  else
    fail "$name-dismissed" "still running $END_WAIT s after OK"
    w32_stop "$pid"
  fi
}

# Windows 98: the version check comes first, silently, and nothing goes.
kp_win98_keep() {
  if ! kp_make_tree "$KP_DEV"; then
    fail keyprune-win98-setup "could not make the key tree: $WINE_OUT"
    return
  fi
  wine_exe reg query "HKLM\\$KP_DEV" /s
  local before=$WINE_OUT
  kp_silent keyprune-win98 "$KP_DEV" || return
  check keyprune-win98-exit-0 test "$W32_RC" = 0
  check keyprune-win98-no-window test "$KP_WINDOWS" -eq 0
  wine_exe reg query "HKLM\\$KP_DEV" /s
  check keyprune-win98-tree-kept test "$WINE_OUT" = "$before"
}
