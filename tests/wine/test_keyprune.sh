#!/usr/bin/env bash
# keyprune under Wine (x86_64 test build): a protected device key tree made
# here is removed and its neighbours stay; a missing path changes nothing; a
# path outside the device trees is refused; on Windows 98 nothing is
# removed; with /V the boxes are read and answered through the UI probe, in
# English and, under LC_ALL=ja_JP.UTF-8 (code page 932 checked), in Japanese.
set -u
source "$(dirname "$0")/lib.sh"
BUILD64=${WINE_BUILD64:-$BUILD64}
PROBE=$BUILD64/tests/wine/probe/uiprobe.exe
KEYPRUNE=$BUILD64/keyprune/keyprune.exe
KEYTOOL=$BUILD64/tests/wine/keyprune/keytool.exe
for f in "$KEYPRUNE" "$KEYTOOL" "$PROBE"; do
  [ -f "$f" ] || { fail "keyprune-build" "missing $f (build the win64 preset)"; exit 1; }
done

USB='SYSTEM\CurrentControlSet\Enum\USB'
DEV="$USB\\Vid_2e51&Pid_2201"
SIBLING="$USB\\Vid_2e51&Pid_2202"
CAPTION='Remove Registry Program'

key_exists() { wine_exe "$KEYTOOL" exists "$1"; [ "$WINE_RC" -eq 0 ]; }
key_missing() { wine_exe "$KEYTOOL" exists "$1"; [ "$WINE_RC" -eq 1 ]; }

# A device tree of several levels and children, protected as Windows
# protects device keys.
make_tree() {
  wine_exe "$KEYTOOL" make "$1" "$1\\5&1a2b&0&1" "$1\\5&1a2b&0&1\\Device Parameters" \
    "$1\\5&1a2b&0&1\\Control" "$1\\6&99&0&2" "$1\\6&99&0&2\\Device Parameters"
  [ "$WINE_RC" -eq 0 ]
}

snapshot() { wine_exe reg query "HKLM\\$USB" /s; printf '%s' "$WINE_OUT"; }

# run_silent ARGS...: keyprune must end by itself without showing a window.
run_silent() {
  wine_start "$KEYPRUNE" "$@"
  local pid=$WINE_PID
  probe wait --exe keyprune.exe --timeout 5
  local shown=$PROBE_RC
  [ $shown -eq 0 ] && probe close --exe keyprune.exe
  wait "$pid"
  SILENT_RC=$?
  [ $shown -ne 0 ]
}

# box_text: the text of keyprune's front box (the static control 65535).
box_text() {
  probe wait --exe keyprune.exe --title "$CAPTION" --timeout 20 || return 1
  probe list --exe keyprune.exe --title "$CAPTION"
  BOX_LIST=$PROBE_OUT
  BOX_TEXT=$(printf '%s\n' "$PROBE_OUT" | sed -n 's/^  control 65535 class="Static" text="\(.*\)" visible=1.*/\1/p')
}

# answer ID: presses a button of the front box and waits for it to go.
answer() {
  local before=$BOX_TEXT
  probe click --exe keyprune.exe --title "$CAPTION" --id "$1"
  local tries=0
  while [ $tries -lt 50 ]; do
    probe list --exe keyprune.exe --title "$CAPTION"
    contains "$PROBE_OUT" "$before" || return 0
    sleep 0.2
    tries=$((tries + 1))
  done
  return 1
}

wine_begin
wine_version winxp

# --- the protected tree goes, its neighbour stays
make_tree "$DEV" && make_tree "$SIBLING"
# The keys really carry the device-key protection: no one may set a value.
wine_exe "$KEYTOOL" open "$DEV\\6&99&0&2" 2
check keyprune-setup-protected test "$(printf '%s' "$WINE_OUT" | tr -d '\r')" = 5
before_sibling=$(wine_exe reg query "HKLM\\$SIBLING" /s; printf '%s' "$WINE_OUT")
run_silent "$DEV"
check keyprune-silent-no-window test $? -eq 0
check keyprune-exit-code-0 test "$SILENT_RC" -eq 0
check keyprune-tree-removed key_missing "$DEV"
check keyprune-sibling-kept test "$(wine_exe reg query "HKLM\\$SIBLING" /s; printf '%s' "$WINE_OUT")" = "$before_sibling"
check keyprune-sibling-deep-kept key_exists "$SIBLING\\6&99&0&2\\Device Parameters"

# --- a missing path changes nothing
before=$(snapshot)
run_silent "$USB\\Vid_9999&Pid_0001"
check keyprune-missing-path-no-window test $? -eq 0
check keyprune-missing-path-unchanged test "$(snapshot)" = "$before"

# --- paths outside the device trees are refused, silently and with /V
wine_exe reg add 'HKLM\SOFTWARE\NorbixTest\Inner' /v Keep /d 1 /f
run_silent 'SOFTWARE\NorbixTest'
check keyprune-outside-silent-refused key_exists 'SOFTWARE\NorbixTest\Inner'
run_silent "$USB"
check keyprune-usb-root-refused test "$(snapshot)" = "$before"
wine_start "$KEYPRUNE" /V 'SOFTWARE\NorbixTest'
pid=$WINE_PID
if box_text; then
  check keyprune-outside-verbose-parameter-error contains "$BOX_TEXT" 'Parameter Error.\n\nSpecify the Registry path to remove.\nEx.)  SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2E51&PID_2206'
  answer 1
else
  fail keyprune-outside-verbose-parameter-error "no box"
fi
wait "$pid"
check keyprune-outside-verbose-kept key_exists 'SOFTWARE\NorbixTest\Inner'

# --- /V in English: the question, Yes, the success text
make_tree "$DEV"
wine_start "$KEYPRUNE" /v /e "system\\currentcontrolset\\enum\\usb\\vid_2e51&pid_2201"
pid=$WINE_PID
if box_text; then
  check keyprune-verbose-question test "$BOX_TEXT" = '<SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\VID_2E51&PID_2201>:\nThis program will reset the driver information of your system.\n\nDo you want to continue?'
  check keyprune-verbose-yes-no-buttons contains "$BOX_LIST" 'control 7 class="Button" text="&No"'
  answer 6
  if box_text; then
    check keyprune-verbose-success test "$BOX_TEXT" = 'The driver information were reset successfully.'
    answer 1
  else
    fail keyprune-verbose-success "no box"
  fi
else
  fail keyprune-verbose-question "no box"
fi
wait "$pid"
check keyprune-verbose-removed key_missing "$DEV"
check keyprune-verbose-sibling-kept key_exists "$SIBLING\\5&1a2b&0&1\\Device Parameters"

# --- No keeps the tree
make_tree "$DEV"
wine_start "$KEYPRUNE" /V "$DEV"
pid=$WINE_PID
if box_text; then answer 7; fi
wait "$pid"
check keyprune-verbose-no-keeps key_exists "$DEV\\6&99&0&2\\Device Parameters"

# --- /J on a code-page-1252 system: the Japanese texts become question marks
wine_start "$KEYPRUNE" /J /V
pid=$WINE_PID
if box_text; then
  check keyprune-japanese-on-1252 test "${BOX_TEXT:0:3}" = '???'
  check keyprune-japanese-on-1252-single-blank contains "$BOX_TEXT" '\nEx.) SYSTEM\\'
  answer 1
else
  fail keyprune-japanese-on-1252 "no box"
fi
wait "$pid"

# --- Japanese system
probe acp
acp_en=$PROBE_OUT
# bash itself has no such locale here; Wine only reads the name.
{ export LC_ALL=ja_JP.UTF-8; } 2>/dev/null
probe acp
check keyprune-ja-codepage-932 test "$PROBE_OUT" = 932
wine_start "$KEYPRUNE" /V
pid=$WINE_PID
if box_text; then
  check keyprune-ja-parameter-error test "$BOX_TEXT" = '起動オプションエラー\n\n削除するレジストリパスを指定してください。\nEx.) SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2E51&PID_2206'
  screenshot keyprune-ja-parameter-error
  answer 1
else
  fail keyprune-ja-parameter-error "no box"
fi
wait "$pid"
wine_start "$KEYPRUNE" /V "$DEV"
pid=$WINE_PID
if box_text; then
  check keyprune-ja-question test "$BOX_TEXT" = '<SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\VID_2E51&PID_2201>:\nドライバ情報をリセットします。\nよろしいですか？'
  answer 6
  if box_text; then
    check keyprune-ja-success test "$BOX_TEXT" = 'KVX ドライバ情報のリセットが終了しました。'
    answer 1
  else
    fail keyprune-ja-success "no box"
  fi
else
  fail keyprune-ja-question "no box"
fi
wait "$pid"
check keyprune-ja-removed key_missing "$DEV"
wine_start "$KEYPRUNE" /E /V
pid=$WINE_PID
if box_text; then
  check keyprune-ja-forced-english contains "$BOX_TEXT" 'Parameter Error.'
  answer 1
else
  fail keyprune-ja-forced-english "no box"
fi
wait "$pid"
{ unset LC_ALL; } 2>/dev/null
check keyprune-en-codepage-not-932 test "$acp_en" != 932

# --- Windows 98: nothing removed, /V tells the version
make_tree "$DEV"
wine_version win98
run_silent "$DEV"
check keyprune-win98-silent test $? -eq 0
check keyprune-win98-keeps-tree key_exists "$DEV\\6&99&0&2\\Device Parameters"
wine_start "$KEYPRUNE" /V "$DEV"
pid=$WINE_PID
if box_text; then
  check keyprune-win98-version-message test "$BOX_TEXT" = "Windows version isn't correct.\\nPlease execute on Windows 2000.\\n(4.10.40a.2222.1)"
  answer 1
else
  fail keyprune-win98-version-message "no box"
fi
wait "$pid"
check keyprune-win98-verbose-keeps-tree key_exists "$DEV\\6&99&0&2\\Device Parameters"
wine_version winxp

wine_finish
