#!/bin/bash
# The run log (/log:<path>) of the real executables.
#
# 64-bit prefix, zarnowel.exe handing off to zarnowel64.exe, over a list with
# a direct start, a missing program, a copy missing after the copy, a folder
# that cannot be entered, an item under the dialog and an unknown kind:
# - the log names every item by number, says in words why each skipped one
#   was skipped, gives the started items' paths and parameters with the pids
#   the helpers themselves report, and the times are the local time;
# - the run (items, order, windows on the screen, exit code, timing) is the
#   same as without /log:, and so it is when the log's folder is missing, the
#   file is read-only or the path is 300 characters long; nothing is written
#   then and no box comes up;
# - three launchers at once, each handing off, append to one file named by a
#   quoted path with a blank: every line whole, none lost, all six there;
#   one pair carries out its list, the two others end with 1618 (another run
#   is in progress) and start nothing;
# - a log in System32 is one file for the hand-off pair.
# 32-bit prefix: zarnowel.exe carries out the list itself, and the dialog
# closed with Esc is logged.
source "$(dirname "$0")/../lib.sh"
zw_require_wine

CR=$'\r'
LINE_RE="^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} \\[[0-9]+\\] [^$CR]+$CR\$"

# whole_lines WHAT < log: every line is date, time to the ms, [pid], text, CR LF.
whole_lines() {
  local bad
  bad=$(LC_ALL=C grep -Evn "$LINE_RE")
  zw_expect_eq "$1: every line whole (date, time to the ms, [pid], text, CR LF)" "$bad" ""
}

# pid_lines FILE PID: the text of that process's lines, without CR.
pid_lines() { LC_ALL=C grep -F "] " "$1" | tr -d '\r' | awk -v p="[$2]" '$3 == p' | cut -d' ' -f4-; }

# has WHAT FILE PID TEXT: the process wrote a line holding TEXT.
has() {
  if pid_lines "$2" "$3" | grep -Fq -- "$4"; then zw_ok "$1"; else zw_fail "$1: no line of [$3] holds '$4'"; fi
}

# The process that logged its start from the executable NAME.
pid_of() { tr -d '\r' <"$1" | awk -v n="\\\\$2 version" 'index($0, "start: ") && index($0, n) { print substr($3, 2, length($3) - 2) }'; }

# One run of the list; RUN_* keep what the helpers and the watcher saw.
run_list() {
  local what=$1
  shift
  : >"$ZW_LOG_FILE"
  touch "$ZW_WORK/before"
  # zarnowel.exe ends after its sibling: the log is complete then.
  zw_run_launcher "$app" "$@"
  RUN_RC=$ZW_RC
  RUN_ORDER=$(zw_log_lines '' started | cut -f2 | grep -vx watch | tr '\n' ' ')
  RUN_FIRST=$(($(zw_log_ms first started) - ZW_START_MS))
  RUN_DIALOG=$(($(zw_log_ms dlg started) - ZW_START_MS))
  RUN_TOTAL=$((ZW_END_MS - ZW_START_MS))
  RUN_WINDOWS=$(zw_windows_seen watch | grep -v '^$' | sort -u)
  RUN_WRITTEN=$(find "$WINEPREFIX/drive_c" -type f -newer "$ZW_WORK/before" ! -path "$ZW_LOG_FILE" | sort)
  zw_note "$what: first.exe at +$RUN_FIRST ms, dlg.exe at +$RUN_DIALOG ms, run $RUN_TOTAL ms"
}

# same_as_reference WHAT: the run just made did what the run without /log: did.
same_as_reference() {
  zw_expect_eq "$1: exit code as without /log:" "$RUN_RC" "$REF_RC"
  zw_expect_eq "$1: the same items in the same order" "$RUN_ORDER" "$REF_ORDER"
  zw_expect_eq "$1: the same windows, no box" "$RUN_WINDOWS" "$REF_WINDOWS"
  zw_expect_between "$1: first.exe starts when it did without /log: (ms later)" $((RUN_FIRST - REF_FIRST)) -1000 1000
  zw_expect_between "$1: dlg.exe starts when it did without /log: (ms later)" $((RUN_DIALOG - REF_DIALOG)) -1000 1000
  zw_expect_between "$1: the run takes as long as without /log: (ms longer)" $((RUN_TOTAL - REF_TOTAL)) -1500 1500
}

# ---------------------------------------------------------------- 64-bit prefix

zw_prefix win64
# A run that was killed may have left the immutable file behind.
chattr -i "$WINEPREFIX/drive_c/zwtest/run_log/logs/readonly.log" 2>/dev/null
zw_scratch run_log >/dev/null
app="$ZW_DIR/app"
logs="$ZW_DIR/logs"
mkdir -p "$logs"
zw_install_launcher "$app"
MISSING="failure: the setup list or an item's file is missing"
BUSY="another run of the launcher is in progress; nothing was started, try again later"
zw_helper "$app" first.exe 1500
zw_helper "$app" dlg.exe 1500
zw_helper "$ZW_DIR" watch.exe 600000
zw_windows_file nocopy.exe
zw_ini "$app" <<'EOF'
[SetupList]
Setup1=1,first.exe, ,
Setup2=1,absent.exe, ,
Setup3=2,nocopy.exe, ,
Setup4=1,nodir\x.exe, ,
Setup5=1,dlg.exe,/quiet /norestart
Setup6=9,x
EOF

zw_wine "$ZW_DIR/watch.exe" >/dev/null 2>&1 &
zw_wait_log watch started 1 30

run_list "without /log:"
REF_RC=$RUN_RC REF_ORDER=$RUN_ORDER REF_WINDOWS=$RUN_WINDOWS
REF_FIRST=$RUN_FIRST REF_DIALOG=$RUN_DIALOG REF_TOTAL=$RUN_TOTAL
zw_expect_eq "without /log: exit code (absent.exe: 2)" "$REF_RC" 2
zw_expect_eq "without /log: the started and the dialog item ran" "$REF_ORDER" "first dlg "
zw_expect_eq "without /log: the watcher saw the dialog, and only it" \
  "$(grep -c . <<<"$REF_WINDOWS") $(grep -c '^Installation \[#32770\] {' <<<"$REF_WINDOWS")" "1 1"
zw_expect_eq "without /log: no file written on drive C: but the helpers' log" "$RUN_WRITTEN" ""

log="$logs/run.log"
run_list "with /log:" "/log:$ZW_WDIR\\logs\\run.log"
same_as_reference "with /log:"
zw_expect_eq "with /log: the log is the one file written" "$RUN_WRITTEN" "$log"
whole_lines "with /log:" <"$log"
launcher=$(pid_of "$log" zarnowel.exe)
sibling=$(pid_of "$log" zarnowel64.exe)
zw_expect_match "one launcher and one sibling logged their start" "$launcher $sibling" '^[0-9]+ [0-9]+$'
zw_expect_eq "no third process in the log" \
  "$(tr -d '\r' <"$log" | awk '{ print $3 }' | sort -u | tr '\n' ' ')" "$(printf '[%s]\n[%s]\n' "$launcher" "$sibling" | sort | tr '\n' ' ')"
start=$(pid_lines "$log" "$launcher" | head -n 1)
zw_expect_match "the start: path and version" "$start" "^start: .*\\\\app\\\\zarnowel\\.exe version [0-9]+(\\.[0-9]+){3}, "
zw_expect_match "the start: tail and silentMode" "$start" ', tail "/log:[^"]*\\logs\\run\.log", silentMode 0$'
has "the hand-off names the sibling's pid" "$log" "$launcher" "started with the same tail, pid $sibling;"
has "the list: language, folder, section, count, where it stopped" "$log" "$sibling" \
  "setup list: languageTag eng, programDirectory $ZW_WDIR\\app, section [SetupList], 6 items loaded; Setup7 is missing or empty"
for n in 1 2 3 4 5 6; do
  value=$(sed -n "s/^Setup$n=//p" "$app/Zarnowel.ini" | tr -d '\r')
  has "item $n is named with its value" "$log" "$sibling" "item $n: \"$value\": "
done
has "item 1 started directly, with the helper's own pid" "$log" "$sibling" \
  "item 1: started .\\first.exe directly, parameters \" \", pid $(zw_log_pid first started)"
zw_expect_match "item 1's wait was held by its process, then the grace period" \
  "$(pid_lines "$log" "$sibling" | grep -F 'item 1: wait over')" \
  '^item 1: wait over after [0-9]+ ms; held by its own process \(pid [0-9]+\) [0-9]+ ms, the grace period [0-9]+ ms$'
has "item 2 skipped: missing" "$log" "$sibling" "item 2: skipped: .\\absent.exe is missing"
has "item 3 skipped: missing after the copy" "$log" "$sibling" \
  "item 3: skipped: C:\\windows\\nocopy.exe is missing after the copy"
has "item 4 skipped: its folder cannot be entered" "$log" "$sibling" \
  "item 4: skipped: the directory $ZW_WDIR\\app\\nodir cannot be entered"
has "item 5 started under the dialog with its parameters and the helper's pid" "$log" "$sibling" \
  "item 5: started .\\dlg.exe under the dialog, parameters \"/quiet /norestart\", pid $(zw_log_pid dlg started)"
has "item 6: the unknown kind ends the run" "$log" "$sibling" "item 6: \"9,x\": unknown kind \"9\" ends the run"
zw_expect_eq "the launcher's last lines follow the sibling's end" \
  "$(tr -d '\r' <"$log" | tail -n 3 | cut -d' ' -f3-)" \
  "$(printf '[%s] end: exit code 2: %s\n[%s] hand-off: zarnowel64.exe ended with exit code 2\n[%s] end: exit code 2: %s' \
    "$sibling" "$MISSING" "$launcher" "$launcher" "$MISSING")"
# Local time: what the log says of item 1's start against the helper's clock.
stamp=$(tr -d '\r' <"$log" | grep -F 'item 1: started' | cut -d' ' -f1-2)
zw_expect_between "the log's time of item 1's start is the local time the helper saw (ms off)" \
  $(($(date -d "$stamp" +%s%3N) - $(zw_log_ms first started))) -1000 1000
cp "$log" "$ZW_WORK/run.log"

# A log that cannot be written: the run is the same, nothing is written.
run_list "log folder missing" "/log:$ZW_WDIR\\nofolder\\run.log"
same_as_reference "log folder missing"
zw_expect_eq "log folder missing: no file written" "$RUN_WRITTEN" ""

printf 'kept\r\n' >"$logs/readonly.log"
chmod a-w "$logs/readonly.log" # what Wine shows as FILE_ATTRIBUTE_READONLY
# Wine, running as root, writes a read-only file all the same; an immutable
# file refuses even root, as Windows refuses a read-only one.
immutable=0
chattr +i "$logs/readonly.log" 2>/dev/null && immutable=1
run_list "read-only log" "/log:$ZW_WDIR\\logs\\readonly.log"
[ "$immutable" = 1 ] && chattr -i "$logs/readonly.log"
same_as_reference "read-only log"
if [ "$immutable" = 1 ]; then
  zw_expect_eq "read-only log: left as it was" "$(tr -d '\r' <"$logs/readonly.log")" kept
  zw_expect_eq "read-only log: no file written" "$RUN_WRITTEN" ""
else
  zw_note "chattr +i does not work here: Wine as root may append to the read-only file"
fi

long="$ZW_WDIR\\logs\\"
long+=$(printf '%*s' $((300 - ${#long} - 4)) '' | tr ' ' x).log
zw_expect_eq "the long path's length" "${#long}" 300
run_list "300-character log path" "/log:$long"
same_as_reference "300-character log path"
zw_expect_eq "300-character log path: no file written" "$RUN_WRITTEN" ""

# Three launchers at once, each handing off: six processes append to one file.
shared="$logs/disc 1.log"
printf 'an earlier run\r\n' >"$shared"
jobs=()
for k in 1 2 3; do
  zw_install_launcher "$ZW_DIR/app$k"
  { echo '[SetupList]'; for n in 1 2 3 4 5 6 7 8 9; do echo "Setup$n=1,m$n.exe, ,"; done; } | zw_ini "$ZW_DIR/app$k"
  zw_cmdline "app$k" "\"$ZW_WDIR\\app$k\\zarnowel.exe\" /log:\"$ZW_WDIR\\logs\\disc 1.log\"" &
  jobs+=($!)
done
codes=
for k in 0 1 2; do
  wait "${jobs[k]}"
  codes+="$? "
done
# One run at a time: 2 for the run (its items are missing), 1618 (low 8
# bits: 82) for the two that found it in progress.
zw_expect_eq "at once: the launchers' exit codes, sorted" "$(tr ' ' '\n' <<<"$codes" | grep . | sort -n | tr '\n' ' ')" "2 82 82 "
zw_expect_eq "at once: the earlier line is still first" "$(head -n 1 "$shared" | tr -d '\r')" "an earlier run"
whole_lines "at once" < <(tail -n +2 "$shared")
launchers=$(pid_of "$shared" zarnowel.exe | tr '\n' ' ')
ran=
for l in $launchers; do
  zw_expect_eq "at once: launcher [$l] wrote its start, the hand-off, its sibling's end and its own" \
    "$(pid_lines "$shared" "$l" | sed 's/: .*//' | tr '\n' ' ')" "start hand-off hand-off end "
  s=$(pid_lines "$shared" "$l" | sed -n 's/.* with the same tail, pid \([0-9]*\);.*/\1/p')
  if pid_lines "$shared" "$s" | grep -q '^item '; then
    ran+="$s "
    zw_expect_eq "at once: sibling [$s] skipped items 1 to 9" \
      "$(pid_lines "$shared" "$s" | sed -n 's/.*item \([0-9]\): skipped: \.\\m\1\.exe is missing$/\1/p' | tr '\n' ' ')" \
      "1 2 3 4 5 6 7 8 9 "
    zw_expect_eq "at once: sibling [$s] ended last" "$(pid_lines "$shared" "$s" | tail -n 1)" "end: exit code 2: $MISSING"
  else
    zw_expect_eq "at once: sibling [$s] found a run in progress and ended at once" \
      "$(pid_lines "$shared" "$s" | tail -n 1)" "end: exit code 1618: $BUSY"
  fi
done
zw_expect_match "at once: exactly one sibling carried out its list" "$ran" '^[0-9]+ $'
zw_expect_match "at once: three launchers" "$launchers" '^[0-9]+ [0-9]+ [0-9]+ $'
zw_expect_eq "at once: six processes, no other line" \
  "$(($(tail -n +2 "$shared" | tr -d '\r' | awk '{ print $3 }' | sort -u | wc -l)))" 6
# The runs overlapped: the writers took turns within the file.
turns=$(tail -n +2 "$shared" | awk '{ if ($3 != last) n++; last = $3 } END { print n }')
zw_note "at once: $(($(wc -l <"$shared") - 1)) lines, the writer changed $turns times"
zw_expect_between "at once: the lines of the runs are interleaved (writer changes)" "$turns" 4 100000

# A log in System32: the 32-bit launcher's lines go to the sibling's file.
zw_windows_file system32/zw_run_log.log
zw_windows_file syswow64/zw_run_log.log
zw_run_launcher "$ZW_DIR/app1" '/log:C:\windows\system32\zw_run_log.log'
sys32="$WINEPREFIX/drive_c/windows/system32/zw_run_log.log"
zw_expect "System32: no file in SysWOW64" test ! -e "$WINEPREFIX/drive_c/windows/syswow64/zw_run_log.log"
zw_expect_eq "System32: the launcher and its sibling in one file" \
  "$(pid_of "$sys32" zarnowel.exe | wc -l) $(pid_of "$sys32" zarnowel64.exe | wc -l)" "1 1"
zw_wine_reset

# ---------------------------------------------------------------- 32-bit prefix

zw_prefix win32
zw_scratch run_log >/dev/null
app="$ZW_DIR/app"
mkdir -p "$ZW_DIR/logs"
zw_install_launcher "$app"
zw_helper "$app" first.exe 1500
zw_helper "$app" dlg.exe 60000
zw_ini "$app" <<'EOF'
[SetupList]
Setup1=1,first.exe, ,
Setup2=1,absent.exe, ,
Setup3=1,dlg.exe,/quiet
EOF
log="$ZW_DIR/logs/run.log"
ZW_TIMEOUT=240 zw_start_launcher "$app" "/log:$ZW_WDIR\\logs\\run.log"
zw_wait_log dlg started 1 180
answered=$(zw_run_prog answer --caption Installation --class '#32770' --key esc --wait-gone 30000 --timeout 60000 2>&1)
zw_expect_eq "win32: Esc closed the dialog" "$?" 0
zw_wait_launcher
zw_note "win32: zarnowel.exe ran $((ZW_END_MS - ZW_START_MS)) ms"
zw_expect_eq "win32: exit code (absent.exe: 2)" "$ZW_RC" 2
whole_lines "win32" <"$log"
self=$(pid_of "$log" zarnowel.exe)
zw_expect_eq "win32: one process wrote the log, without a hand-off" \
  "$(tr -d '\r' <"$log" | awk '{ print $3 }' | sort -u) $(grep -c 'hand-off' "$log")" "[$self] 0"
has "win32: item 1 started directly with its pid" "$log" "$self" \
  "item 1: started .\\first.exe directly, parameters \" \", pid $(zw_log_pid first started)"
has "win32: item 2 skipped" "$log" "$self" "item 2: skipped: .\\absent.exe is missing"
has "win32: item 3 started under the dialog" "$log" "$self" \
  "item 3: started .\\dlg.exe under the dialog, parameters \"/quiet\", pid $(zw_log_pid dlg started)"
has "win32: the dialog closed by Esc" "$log" "$self" "item 3: the dialog was closed by the user (Esc or its close box)"
has "win32: its process is let go" "$log" "$self" \
  "item 3: its process (pid $(zw_log_pid dlg started)) still runs and is no longer waited for"
zw_expect_eq "win32: dlg.exe still ran when the launcher ended" "$(zw_log_count dlg ended)" 0
[ "$ZW_FAILS" = 0 ] || printf '%s\n' "$answered"

zw_finish
