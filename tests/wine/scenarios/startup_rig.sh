#!/bin/bash
# The rig itself, in the 64-bit prefix: the stand-in installer logs what it
# got and lives as long as configured, a GUI program's exit code comes back
# through wine, a 32-bit program runs beside the 64-bit ones, the answerer
# finds a message box by caption and presses a button, and a Wine crash is
# caught rather than passed; under a Korean locale too.
source "$(dirname "$0")/../lib.sh"
zw_require_wine
zw_prefix win64
zw_scratch rig >/dev/null

# A copy under another name reads its own configuration; exit code comes back.
zw_helper "$ZW_DIR" probe.exe 700 3
t0=$(zw_now_ms)
(cd "$ZW_DIR" && zw_wine "$ZW_DIR/probe.exe" first "second arg" >/dev/null 2>&1)
rc=$?
zw_expect_eq "exit code of a GUI program through wine" "$rc" 3
zw_expect_eq "one start logged" "$(zw_log_count probe started)" 1
zw_expect_eq "module path" "$(zw_log_text probe module)" "$ZW_WDIR\\probe.exe"
zw_expect_eq "tail after the program name" "$(zw_log_text probe tail)" '[first "second arg"]'
zw_expect_eq "current directory" "$(zw_log_text probe cwd)" "$ZW_WDIR"
zw_expect_match "configuration read" "$(zw_log_text probe conf)" '^ms=700 exit=3 from '
ran=$(($(zw_log_ms probe ended) - $(zw_log_ms probe started)))
zw_expect_between "ran for its configured time (ms)" "$ran" 700 1500
zw_expect_between "time stamps are the host's clock (ms after our start)" "$(($(zw_log_ms probe started) - t0))" 0 15000

# start.exe /max passes a show state, as a shortcut asking for a maximised window would.
zw_wine_reset
wine start /wait /max "$ZW_WDIR\\probe.exe" >/dev/null 2>&1
zw_expect_eq "start /max: show state in the start-up information" "$(zw_log_text probe startup -1)" "flags=0x1 show=3"
zw_expect_eq "a direct start gives none" "$(zw_log_text probe startup 1)" "flags=0x0 show=-1"

# Without a configuration file the default applies.
cp "$ZW_PROGS/helper.exe" "$ZW_DIR/plain.exe"
zw_wine "$ZW_DIR/plain.exe" >/dev/null 2>&1
zw_expect_match "missing configuration: default run time" "$(zw_log_text plain conf)" '^ms=1000 exit=0 .*missing'

# A 32-bit program under WOW64.
cp "$ZW_WIN32_DIR/tests/wine/progs/helper.exe" "$ZW_DIR/narrow.exe"
zw_helper_time narrow.exe 200 0
zw_wine "$ZW_DIR/narrow.exe" >/dev/null 2>&1
zw_expect_eq "32-bit helper ran in the 64-bit prefix" "$(zw_log_count narrow ended)" 1

# A watcher sees the message box; the answerer presses "No" and it closes.
zw_helper "$ZW_DIR" watch.exe 20000
zw_wine "$ZW_DIR/watch.exe" >/dev/null 2>&1 &
watcher=$!
zw_wait_log watch windows 1 30
zw_wine "$(zw_prog msgbox)" "Rig Check" "Shall we go on?" yesno >/dev/null 2>&1 &
box=$!
zw_wait_log_match watch windows 'Rig Check \[#32770\] \{.*Shall we go on\?' 30
out=$(zw_run_prog answer --caption "Rig Check" --press no --wait-gone 10000 --timeout 20000 2>/dev/null)
zw_expect_eq "answerer's exit code" "$?" 0
zw_expect_match "answerer reports the caption and the text" "$out" $'^found\tRig Check \\[#32770\\].*Shall we go on\\?'
zw_expect_match "answerer reports the buttons" "$out" $'text\tid=7 class=Button .*text=&No'
wait "$box"
zw_expect_eq "message box returned IDNO" "$?" 7
zw_expect_eq "message box logged IDNO" "$(zw_log_text msgbox result)" 7
kill "$watcher" 2>/dev/null

# Asking for a button the box doesn't have is an error, not a silent pass.
zw_wine "$(zw_prog msgbox)" "Only OK" "Just a note." ok >/dev/null 2>&1 &
box=$!
zw_run_prog answer --caption "Only OK" --press yes --timeout 20000 >/dev/null 2>&1
zw_expect_eq "pressing a missing button fails" "$?" 3
zw_run_prog answer --caption "Only OK" --key enter --wait-gone 10000 >/dev/null 2>&1
zw_expect_eq "Enter answers a message box" "$?" 0
wait "$box"
zw_expect_eq "Enter chose OK" "$?" 1
zw_run_prog answer --caption "Never shown" --timeout 1000 >/dev/null 2>&1
zw_expect_eq "a caption that never shows times out" "$?" 1

# A Korean system: the code page and locale, Korean captions found and answered.
saved_lang=${LANG:-C.UTF-8}
zw_korean
zw_wine "$ZW_DIR/probe.exe" >/dev/null 2>&1
zw_expect_eq "Korean system locale and code page" "$(zw_log_text probe locale -1)" "lcid=0x412 acp=949"
zw_wine "$(zw_prog msgbox)" "시스템 재시작" "다시 시작하시겠습니까?" yesno >/dev/null 2>&1 &
box=$!
out=$(zw_run_prog answer --caption "시스템 재시작" --press yes --wait-gone 10000 --timeout 20000 2>/dev/null)
zw_expect_eq "Korean caption answered" "$?" 0
zw_expect_match "Korean texts reported" "$out" $'^found\t시스템 재시작 \\[#32770\\] \\{예\\(&Y\\)\\|아니요\\(&N\\)\\|다시 시작하시겠습니까\\?\\}'
wait "$box"
zw_expect_eq "Korean message box returned IDYES" "$?" 6
export LANG=$saved_lang
unset LC_ALL

# The crash check must see a crash.
zw_wine "$(zw_prog crash)" >/dev/null 2>"$ZW_WORK/crash.err"
saved=$ZW_FAILS
zw_check_crash "$ZW_WORK/crash.err" crash.exe >/dev/null
caught=$((ZW_FAILS - saved))
ZW_FAILS=$saved
zw_expect_eq "a Wine crash report is detected" "$caught" 1

zw_finish
