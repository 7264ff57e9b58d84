#!/bin/bash
# The restart question at the end of a run, answered No, in both prefixes and
# both languages: an item with rebootFlag "1" brings up "Reboot system now?" /
# "System Rebooting" (on a Korean system the Korean pair, shown from its code
# page 949 bytes) once the last item and its grace poll are over; a Yes/No
# question with no owner window. Answered No, the launcher exits 0 and nothing
# restarts: no wineboot is started (Wine's ExitWindowsEx runs "wineboot
# --kill", see restart_reboot) and a program running beside the launcher lives
# on. Without a restart request no question appears, with /s neither. With
# /norestart, silent or not, a run that would restart or ask does neither and
# ends with exit code 3010; without a restart request, with 0.
#
# 64-bit prefix: zarnowel64.exe started directly, so that the exit code seen is
# that of the process that asks; the /norestart runs go through zarnowel.exe,
# whose exit code is the sibling's (the hand-off itself is startup_handoff's
# matter). 32-bit prefix: zarnowel.exe asks itself, every process emulated.
#
# Whether the box is topmost can't be seen here: without a window manager Wine
# leaves _NET_WM_STATE empty. restart_reboot shows the style Wine receives.
source "$(dirname "$0")/../lib.sh"
zw_require_wine

GRACE_MS=6000 # the grace poll after the item's last process: 20 polls of 300 ms
Q_ENG="Reboot system now?"
C_ENG="System Rebooting"
Q_KOR="프로그램 설치가 끝났습니다. 설치를 완료하려면 시스템을 재부팅하여야 합니다. 지금 재부팅 하시겠습니까?"
C_KOR="시스템 재부팅"

# x_props CAPTION PROPERTY...: the X properties of the top-level window whose
# _NET_WM_NAME is CAPTION (Wine's windows are children of the root: no window
# manager runs).
x_props() {
  local caption=$1 id
  shift
  for id in $(xwininfo -root -children 2>/dev/null | awk '$1 ~ /^0x/ {print $1}'); do
    if xprop -id "$id" _NET_WM_NAME 2>/dev/null | grep -qF "= \"$caption\""; then
      xprop -id "$id" "$@" 2>/dev/null
      return 0
    fi
  done
  return 1
}

# prepare FLAG: a fresh app folder whose one item (a direct start
# waiting for a process that never runs) has rebootFlag FLAG, the same item in
# the silent section, and bystander.exe running beside the launcher until the
# scenario ends it.
prepare() {
  zw_scratch restart_question >/dev/null
  app="$ZW_DIR/app"
  zw_install_launcher "$app"
  zw_helper "$app" item.exe 500
  zw_helper "$app" bystander.exe 600000
  zw_ini "$app" <<EOF
[SetupList]
Setup1=1,item.exe, ,absent.exe,$1
[SetupSilent]
Setup1=1,item.exe, ,absent.exe,$1
EOF
  zw_wine "$app/bystander.exe" >/dev/null 2>&1 &
  zw_wait_log bystander windows 1 90 # up and watching the screen
}

# no_restart WHAT: nothing of a restart happened: no wineboot was started and
# bystander.exe is still running a while after the launcher ended.
no_restart() {
  local what=$1
  zw_expect_match "$what: the process trace shows the item's start (trace works)" \
    "$(grep -a 'NtCreateUserProcess' "$ZW_ERR")" 'item\.exe'
  zw_expect_no_match "$what: no wineboot started" "$(grep -a 'NtCreateUserProcess' "$ZW_ERR")" 'wineboot'
  sleep 3
  zw_expect_eq "$what: bystander.exe still runs 3 s after the launcher ended" "$(zw_log_count bystander ended)" 0
  zw_expect_match "$what: bystander.exe among the processes" "$(zw_run_prog winprobe --procs 2>/dev/null)" \
    'bystander\.exe'
}

# asked_no ARCH LANGUAGE EXE SLACK_MS: one run answered No.
asked_no() {
  local arch=$1 lang=$2 image=$3 slack=$4 question caption what="$1 $2"
  if [ "$lang" = kor ]; then question=$Q_KOR caption=$C_KOR; else question=$Q_ENG caption=$C_ENG; fi
  prepare 1
  ZW_EXE=$image WINEDEBUG=+process zw_start_launcher "$app"
  local out
  out=$(zw_run_prog answer --caption "$caption" --timeout 180000 2>/dev/null)
  zw_expect_match "$what: question shown by $image" "$out" \
    $'^found\t'"$caption"' \[#32770\] .* visible=1 pid=[0-9]+ image='"$image"' '
  zw_expect_eq "$what: question text" "$(printf '%s\n' "$out" | awk -F'\t' '$1 == "text" && /class=Static/ && !/text=$/' |
    sed 's/.* text=//')" "$question"
  zw_expect_eq "$what: buttons Yes and No only" "$(printf '%s\n' "$out" | grep 'class=Button' |
    sed 's/.*id=\([0-9]*\) .*/\1/' | tr '\n' ' ')" "6 7 "
  local props
  # Wine marks the X window of an owned one transient for its owner's.
  props=$(x_props "$caption" WM_TRANSIENT_FOR)
  zw_expect_match "$what: no owner window" "$props" '^WM_TRANSIENT_FOR: +not found'

  # bystander.exe looks every 100 ms: let it see the question before it goes.
  zw_wait_log_match bystander windows "^$caption \\[" 30
  local asked
  asked=$(zw_now_ms)
  zw_run_prog answer --caption "$caption" --press no --timeout 10000 >/dev/null 2>&1
  zw_expect_eq "$what: answered No" "$?" 0
  zw_wait_launcher
  zw_expect_eq "$what: exit code" "$ZW_RC" 0
  zw_expect_eq "$what: the item ran once" "$(zw_log_count item ended)" 1
  if [ "$lang" = kor ]; then
    zw_expect_eq "$what: a Korean system" "$(zw_log_text item locale)" "lcid=0x412 acp=949"
  fi
  # The question comes after the item, its grace poll and the next item tick.
  local shown
  shown=$(zw_log_lines bystander windows | awk -F'\t' -v c="$caption [#32770]" 'index($5, c) {print $1; exit}')
  zw_expect_between "$what: question shown after the item ended (ms)" \
    "$((${shown:-0} - $(zw_log_ms item ended)))" "$GRACE_MS" $((GRACE_MS + slack))
  zw_expect_between "$what: launcher ended after the answer (ms)" "$((ZW_END_MS - asked))" 0 $((5000 + slack))
  zw_expect_eq "$what: no other message box" "$(zw_windows_seen bystander | grep '#32770' | grep -cvF "$caption [#32770]")" 0
  no_restart "$what"
  zw_wine_reset
}

# unasked ARCH EXE FLAG CODE [SWITCH...]: a run that must end without a
# question, with exit code CODE (whole: a Unix exit status keeps 8 bits).
unasked() {
  local arch=$1 exe=$2 flag=$3 code=$4
  shift 4
  local what="$arch $exe rebootFlag '$flag' ${*:-(no switch)}" doer=$exe
  # Under WOW64 zarnowel.exe hands the list to its sibling.
  [ "$arch/$exe" = win64/zarnowel.exe ] && doer=zarnowel64.exe
  prepare "$flag"
  zw_watch_start "$exe"
  ZW_EXE=$exe WINEDEBUG=+process zw_run_launcher "$app" "$@"
  zw_watch_end
  zw_expect_eq "$what: exit code" "$(zw_watched "$exe" exit) $ZW_RC" "$code $((code % 256))"
  zw_expect_eq "$what: the item ran once" "$(zw_log_count item ended)" 1
  zw_expect_match "$what: the item started by $doer" "$(zw_log_text item started)" " parent=${doer//./\\.}\$"
  zw_expect_eq "$what: no message box at all" "$(zw_windows_seen bystander | grep -c '#32770')" 0
  no_restart "$what"
  zw_wine_reset
}

saved_lang=${LANG:-C.UTF-8}
saved_lc_all=${LC_ALL:-}
english() {
  export LANG=$saved_lang
  if [ -n "$saved_lc_all" ]; then export LC_ALL=$saved_lc_all; else unset LC_ALL; fi
}

# The rig removes only the last scratch folder: this one's, of the first prefix,
# goes when that prefix is done with, unless something failed.
drop_scratch() { [ "$ZW_FAILS" = 0 ] && [ "${ZW_KEEP:-0}" != 1 ] && rm -rf "$ZW_SCRATCH"; }

zw_prefix win64
asked_no win64 eng zarnowel64.exe 5000
unasked win64 zarnowel64.exe 0 0
unasked win64 zarnowel64.exe 0 0 /s
unasked win64 zarnowel64.exe " 1" 0 # not exactly "1"
unasked win64 zarnowel.exe 1 3010 /norestart
unasked win64 zarnowel.exe 1 3010 /s /norestart
unasked win64 zarnowel.exe 0 0 /norestart
zw_korean
asked_no win64 kor zarnowel64.exe 5000
english
drop_scratch

# Every process is emulated in the 32-bit prefix: starts take seconds.
zw_prefix win32
asked_no win32 eng zarnowel.exe "${ZW_EMULATED_SLACK_MS:-15000}"
unasked win32 zarnowel.exe 1 3010 /norestart
zw_korean
asked_no win32 kor zarnowel.exe "${ZW_EMULATED_SLACK_MS:-15000}"
english
zw_finish
