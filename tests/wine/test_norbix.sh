#!/usr/bin/env bash
# Norbix (x86_64 test build) and its dialogs under Wine, in English and,
# under LC_ALL=ja_JP.UTF-8 with code page 932 checked, in Japanese:
# the attention dialog's texts; Cancel ends the program with no file
# changed; OK opens the main dialog with string 154 and the update file's
# version; a second copy ends at once without a window; a bad update file
# gives the 105/106 box and no dialog. showdialogs shows every template
# (the finish dialog with strings 155, 156 and 162) for the probe and the
# screenshots in artifacts/wine/.
set -u
source "$(dirname "$0")/lib.sh"
BUILD64=${WINE_BUILD64:-$BUILD64}
PROBE=$BUILD64/tests/wine/probe/uiprobe.exe
NORBIX=$BUILD64/updater/Norbix.exe
SHOW=$BUILD64/tests/wine/dialogs/showdialogs.exe
DFUTOOL=${DFUTOOL:-$ROOT/build/host/tools/dfutool}
for f in "$NORBIX" "$SHOW" "$PROBE" "$DFUTOOL"; do
  [ -f "$f" ] || { fail "norbix-build" "missing $f (build the host and win64 presets)"; exit 1; }
done

MAIN_TITLE='Firmware Updater Version 1.43 b2'

# control LINE_PREFIX: the probe line of one control of the last list.
control() { printf '%s\n' "$PROBE_OUT" | grep -F -m1 "  control $1 class="; }
# has_control ID TEXT VISIBLE ENABLED
has_control() {
  contains "$PROBE_OUT" "  control $1 class=" || return 1
  printf '%s\n' "$PROBE_OUT" | grep -F -q -- "control $1 class=\"$(control "$1" | sed 's/.*class="\([^"]*\)".*/\1/')\" text=\"$2\" visible=$3 enabled=$4"
}
# wait_title EXE TITLE SECONDS: a window of EXE with exactly that title is
# up; PROBE_OUT then lists it. The probe's --title does not match Japanese
# titles under the Japanese locale, so titles are compared here.
wait_title() {
  local tries=0
  while [ $tries -lt $(($3 * 5)) ]; do
    probe list --exe "$1"
    contains "$PROBE_OUT" "title=\"$2\"" && return 0
    sleep 0.2
    tries=$((tries + 1))
  done
  return 1
}
window_count() { printf '%s\n' "$PROBE_OUT" | grep -c '^window '; }

# ends_within PID SECONDS: the process ends by itself in that time.
ends_within() {
  local tries=0
  while kill -0 "$1" 2>/dev/null; do
    [ $tries -ge $(($2 * 10)) ] && return 1
    sleep 0.1
    tries=$((tries + 1))
  done
  wait "$1" 2>/dev/null
  return 0
}

# start_norbix DIR: the updater from its folder, which holds the update files.
start_norbix() {
  (cd "$1" && exec "$WINE64" Norbix.exe >"$WINE_TMP/norbix.$RANDOM" 2>&1) &
  NORBIX_PID=$!
}

folder_sum() { (cd "$1" && md5sum * | sort); }

make_folders() {
  GOOD=$WINE_TMP/good
  BAD=$WINE_TMP/bad
  mkdir -p "$GOOD" "$BAD"
  cp "$NORBIX" "$GOOD/" && cp "$NORBIX" "$BAD/"
  "$DFUTOOL" make "$GOOD/UPDATE_KA.DFU" --version 2.05 >/dev/null
  "$DFUTOOL" make "$BAD/A_KA.DFU" --version 2.05 >/dev/null
  # A flipped byte in the firmware: the CRC no longer matches.
  printf '\x55' | dd of="$BAD/A_KA.DFU" bs=1 seek=8192 conv=notrunc 2>/dev/null
}

set_language() {
  L=$1
  if [ "$L" = ja ]; then
    { export LC_ALL=ja_JP.UTF-8; } 2>/dev/null
    ATTENTION_TITLE='注意!!'
    ATTENTION_TEXT='実行中のアプリケーションを終了してから「OK」を押して下さい。\r\nアップデートしない時は、「キャンセル」を押して終了して下さい。\r\n\r\n継続した場合、カードリーダは、再接続するか、パソコンを再起動するまでご使用になれなくなります。'
    CANCEL_TEXT='ｷｬﾝｾﾙ'
    NO_READER='・・・　接続してください　・・・'
    BOX_CAPTION='更新用ファイルのチェックエラー'
    BOX_TEXT='更新に必要なファイルが壊れている可能性があります。もう一度ダウンロードしてから実行してください。'
    END_TEXT='終　了  (&E)'
    FINISH_TITLE='更新処理終了'
    ABOUT_TITLE='Firmware Updater のﾊﾞｰｼﾞｮﾝ情報'
    RESULT_155='・・・　正常に更新されました　・・・'
    RESULT_156='・・・　更新処理を終了しました　・・・'
    RESULT_162='・・・　更新処理は失敗しました　・・・'
    REMOVE_TEXT='アップデートを完了させるため、一度デバイスを取り外してください。\r\n取り外すと、このウィンドウは自動的に閉じます。'
    REMOVE_VISIBLE=1
  else
    { unset LC_ALL; } 2>/dev/null
    ATTENTION_TITLE='Attention'
    ATTENTION_TEXT='Please remove any memory cards from the memory card reader.\r\nPlease click [OK] button after closing all open applications.\r\nOr click [Cancel] button to cancel this  update.\r\n\r\nNote: if you proceed this process, the card reader  will not be \r\n         available until after restarting the computer.'
    CANCEL_TEXT='CANCEL'
    NO_READER='The memory card reader cannot be found or this firmware update is not for \r\nthis system. Please confirm the system once again.'
    BOX_CAPTION='Check error of update file'
    BOX_TEXT='The update file has a problem.\r\nPlease execute after download once again.'
    END_TEXT='End (&E)'
    FINISH_TITLE='The process has ended.'
    ABOUT_TITLE='About Firmware Updater'
    RESULT_155='..... The firmware has been updated successfully .....'
    RESULT_156='..... The updated process is complete .....'
    RESULT_162='The updated process was not successful.\r\nPlease restart the system and try it again.'
    REMOVE_TEXT='In order to complete the update,remove your device once.\r\nThen this window will close automatically.'
    REMOVE_VISIBLE=0
  fi
}

check_code_page() {
  wine_exe "$SHOW" acp
  local acp
  acp=$(printf '%s' "$WINE_OUT" | tr -d '\r\n')
  if [ "$L" = ja ]; then
    check "norbix-$L-code-page-932" test "$acp" = 932
  else
    check "norbix-$L-code-page-not-932" test "$acp" != 932
  fi
}

attention_then_cancel() {
  local before
  before=$(folder_sum "$GOOD")
  start_norbix "$GOOD"
  if wait_title Norbix.exe "$ATTENTION_TITLE" 60; then
    check "norbix-$L-attention-text" has_control 1015 "$ATTENTION_TEXT" 1 1
    check "norbix-$L-attention-ok" has_control 1 OK 1 1
    check "norbix-$L-attention-cancel" has_control 2 "$CANCEL_TEXT" 1 1
    screenshot "norbix-$L-attention"
    probe click --exe Norbix.exe --id 2
  else
    fail "norbix-$L-attention-shown"
  fi
  check "norbix-$L-cancel-ends" ends_within "$NORBIX_PID" 30
  check "norbix-$L-cancel-no-file-changed" test "$(folder_sum "$GOOD")" = "$before"
}

main_dialog_and_second_copy() {
  start_norbix "$GOOD"
  local first=$NORBIX_PID
  wait_title Norbix.exe "$ATTENTION_TITLE" 60
  probe click --exe Norbix.exe --id 1
  if wait_title Norbix.exe "$MAIN_TITLE" 30; then
    check "norbix-$L-main-no-reader" has_control 1017 "$NO_READER" 1 1
    check "norbix-$L-main-file-version" has_control 1005 'Firmware Version : 02.05' 1 1
    check "norbix-$L-main-start-disabled" has_control 1000 "$(control 1000 | sed 's/.* text="\([^"]*\)".*/\1/')" 1 0
    check "norbix-$L-main-end" has_control 1 "$END_TEXT" 1 1
    check "norbix-$L-main-progress-hidden" contains "$(control 1001)" 'visible=0'
    check "norbix-$L-main-refer-hidden" contains "$(control 1009)" 'visible=0'
    sleep 1
    screenshot "norbix-$L-main"
  else
    fail "norbix-$L-main-shown"
  fi
  start_norbix "$GOOD"
  check "norbix-$L-second-copy-ends" ends_within "$NORBIX_PID" 30
  probe list --exe Norbix.exe
  check "norbix-$L-second-copy-no-window" test "$(window_count)" -eq 1
  probe click --exe Norbix.exe --id 1
  check "norbix-$L-end-ends" ends_within "$first" 30
}

bad_file_box() {
  start_norbix "$BAD"
  if wait_title Norbix.exe "$BOX_CAPTION" 60; then
    check "norbix-$L-box-text" contains "$PROBE_OUT" "text=\"$BOX_TEXT\""
    check "norbix-$L-box-only-window" test "$(window_count)" -eq 1
    screenshot "norbix-$L-box"
    probe click --exe Norbix.exe --id 1
  else
    fail "norbix-$L-box-shown"
  fi
  check "norbix-$L-box-ends" ends_within "$NORBIX_PID" 30
  probe list --exe Norbix.exe
  check "norbix-$L-box-no-dialog-after" test "$PROBE_RC" -ne 0
}

# show NAME TITLE: starts showdialogs NAME and lists its window.
show() {
  "$WINE64" "$SHOW" "$1" >"$WINE_TMP/show.out" 2>&1 &
  SHOW_PID=$!
  wait_title showdialogs.exe "$2" 60 || return 1
  sleep 0.5
  screenshot "dialogs-$L-$1"
}

# shown_result: what showdialogs printed when its dialog ended.
shown_result() {
  ends_within "$SHOW_PID" 30
  tr -d '\r' <"$WINE_TMP/show.out"
}

finish_dialog() {
  local name=$1 text=$2 how=$3 want=$4
  if show "$name" "$FINISH_TITLE"; then
    check "dialogs-$L-$name-result-text" has_control 1014 "$text" 1 1
    check "dialogs-$L-$name-cancel-hidden" contains "$(control 2)" 'visible=0'
    check "dialogs-$L-$name-remove-note" contains "$PROBE_OUT" "text=\"$REMOVE_TEXT\" visible=$REMOVE_VISIBLE"
    if [ "$how" = shutdown ]; then
      probe click --exe showdialogs.exe --id 1
    else
      probe close --exe showdialogs.exe
    fi
    check "dialogs-$L-$name-$how" test "$(shown_result)" = "$want"
  else
    fail "dialogs-$L-$name-shown"
  fi
}

all_templates() {
  if show attention "$ATTENTION_TITLE"; then
    check "dialogs-$L-attention-text" has_control 1015 "$ATTENTION_TEXT" 1 1
    probe click --exe showdialogs.exe --id 1
    check "dialogs-$L-attention-ok" test "$(shown_result)" = 'result=1 shutdown=7'
  else
    fail "dialogs-$L-attention-shown"
  fi
  finish_dialog finish155 "$RESULT_155" shutdown 'result=1 shutdown=1'
  finish_dialog finish156 "$RESULT_156" close 'result=2 shutdown=0'
  finish_dialog finish162 "$RESULT_162" close 'result=2 shutdown=0'
  if show about "$ABOUT_TITLE"; then
    check "dialogs-$L-about-version" contains "$PROBE_OUT" 'text="Firmware Updater Version 1.43 b2"'
    probe click --exe showdialogs.exe --id 1
    check "dialogs-$L-about-ok" test "$(shown_result)" = 'result=1 shutdown=7'
  else
    fail "dialogs-$L-about-shown"
  fi
  if show main "$MAIN_TITLE"; then
    check "dialogs-$L-main-no-reader" has_control 1017 "$NO_READER" 1 1
    probe close --exe showdialogs.exe
    check "dialogs-$L-main-close" test "$(shown_result)" = 'result=2 shutdown=7'
  else
    fail "dialogs-$L-main-shown"
  fi
}

wine_begin
wine_version winxp
make_folders
for lang in ${NORBIX_WINE_LANGUAGES:-en ja}; do
  set_language "$lang"
  check_code_page
  attention_then_cancel
  main_dialog_and_second_copy
  bad_file_box
  all_templates
done
{ unset LC_ALL; } 2>/dev/null
wine_finish
