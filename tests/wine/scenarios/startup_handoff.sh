#!/bin/bash
# 64-bit prefix: the 32-bit launcher runs under WOW64 and hands the job to
# "zarnowel64.exe" beside it, started by its full path with the launcher's own
# command-line tail unchanged; it has no window of its own, waits for the
# sibling and ends with the sibling's exit code.
#
# - A stand-in sibling (helper.exe as zarnowel64.exe) logs what it got, for a
#   table of tails and exit codes, and from another working directory.
# - The real pair: zarnowel64.exe carries out [SetupList], or [SetupSilent]
#   with /s, and zarnowel.exe ends only after it, which ends only after the
#   last item and its grace poll. A missing driver file brings up "file open
#   error", and an item no program is registered for the shell's own error
#   box, only when the run is not silent; either way the run goes on. Wine's
#   exec trace shows the mask of every start.
# - No sibling: the 32-bit launcher carries out the list itself, and the shell
#   shows no box about the missing sibling.
source "$(dirname "$0")/../lib.sh"
zw_require_wine
zw_prefix win64
zw_scratch handoff >/dev/null

GRACE_MS=6000 # the grace poll after an item's last process: 20 polls of 300 ms
SLACK_MS=6000
# SHELLEXECUTEINFO masks as Wine's exec trace prints them: NOCLOSEPROCESS
# (0x40) and NOZONECHECKS (0x00800000) always, FLAG_NO_UI (0x400) for the
# hand-off and for the items of a silent run.
MASK_NO_UI=0x00800440
MASK_UI=0x00800040

app="$ZW_DIR/app"
mkdir -p "$app"
cp "$ZW_WIN32_DIR/zarnowel.exe" "$app/" 2>/dev/null || zw_skip "zarnowel.exe not built in $ZW_WIN32_DIR"
zw_helper "$app" zarnowel64.exe 3000
zw_helper "$app" first.exe 1000
zw_helper "$app" quiet.exe 1000
zw_helper "$app" last.exe 500
zw_helper "$app" watch.exe 600000
echo "no program is registered for this" >"$app/data.zwq"
zw_ini "$app" <<'EOF'
[SetupList]
Setup1=1,first.exe, ,
Setup2=0,missing.inf,ZW\NOSUCHDEV
Setup3=1,data.zwq, ,
Setup4=1,last.exe, ,
[SetupSilent]
Setup1=1,quiet.exe, ,
Setup2=0,missing.inf,ZW\NOSUCHDEV
Setup3=1,data.zwq, ,
Setup4=1,last.exe, ,
EOF

# standin_run LABEL CWD EXIT TAIL ARGS...: one run with the stand-in ending
# with EXIT; TAIL is the tail Wine builds from ARGS, which the stand-in must
# get unchanged. A probe watches for a launcher window all the while, a watch
# for both processes.
standin_run() {
  local label=$1 cwd=$2 code=$3 tail=$4
  shift 4
  : >"$ZW_LOG_FILE"
  zw_helper_time zarnowel64.exe 3000 "$code"
  zw_watch_start zarnowel.exe,zarnowel64.exe
  zw_run_prog winprobe --class ZARNOWEL2 --absent 6000 >"$ZW_WORK/probe.out" 2>/dev/null &
  local probe=$!
  sleep 1
  ZW_CWD=$cwd zw_run_launcher "$app" "$@"
  zw_expect "$label: the window probe still watched when the launcher ended" kill -0 "$probe"
  wait "$probe"
  local probe_rc=$?
  zw_watch_end
  zw_expect_eq "$label: no ZARNOWEL2 window appeared ($(head -n1 "$ZW_WORK/probe.out"))" "$probe_rc" 0
  zw_expect_eq "$label: exit code is the sibling's" "$(zw_watched zarnowel.exe exit) $ZW_RC" "$code $((code % 256))"
  zw_expect_eq "$label: the sibling and nothing else started, once" \
    "$(zw_log_count zarnowel64 started) $(zw_log_count '' started)" "1 1"
  zw_expect_eq "$label: the sibling beside the launcher" "$(zw_log_text zarnowel64 module)" "$(zw_winpath "$app")\\zarnowel64.exe"
  zw_expect_eq "$label: the tail unchanged" "$(zw_log_text zarnowel64 tail)" "[$tail]"
  zw_expect_eq "$label: started by its full path" "$(zw_log_text zarnowel64 cmdline)" \
    "[\"$(zw_winpath "$app")\\zarnowel64.exe\"${tail:+ $tail}]"
  zw_expect_match "$label: started by the launcher" "$(zw_log_text zarnowel64 started)" \
    "ppid=$(zw_watched zarnowel.exe pid) parent=zarnowel\\.exe\$"
  zw_expect_eq "$label: the sibling inherited the working directory" "$(zw_log_text zarnowel64 cwd)" "$(zw_winpath "$cwd")"
  local gap=$(($(zw_ft_ms "$(zw_watched zarnowel.exe ended_ft)") - $(zw_ft_ms "$(zw_watched zarnowel64.exe ended_ft)")))
  zw_expect_between "$label: the launcher ended after the sibling (ms)" "$gap" 0 3000
  zw_note "$label: launcher took $((ZW_END_MS - ZW_START_MS)) ms, ended $gap ms after the sibling"
}

root=$WINEPREFIX/drive_c
standin_run "no switch" "$root" 0 ""
standin_run "/s" "$root" 0 "/s" /s
standin_run "/silent" "$root" 7 "/silent" /silent
standin_run "/S /norestart" "$root" 3010 "/S /norestart" /S /norestart
standin_run "/log: with a blank in the path" "$root" 1641 "\"/log:$ZW_WDIR\\run log.txt\" /s" "/log:$ZW_WDIR\\run log.txt" /s
standin_run "quotes, blanks and an empty argument" "$root" 0 '"a  b" q\"x ""' 'a  b' 'q"x' ''
# From a folder that holds a zarnowel64.exe of its own: the one beside the
# launcher starts.
other="$ZW_DIR/other"
zw_helper "$other" zarnowel64.exe 3000
standin_run "started from another folder" "$other" 0 "/s" /s

# ---- the real pair

# starts: every ShellExecuteEx of both processes as Wine's exec trace shows
# it, "MASK FILE [PARAMETERS]" a line, in order.
starts() {
  grep -a 'trace:exec:SHELL_execute mask=' "$ZW_ERR" |
    sed 's/.*mask=\(0x[0-9a-f]*\) .* file=L"\(.*\)" parm=L"\(.*\)" dir=.*/\1 \2 [\3]/; s/\\\\/\\/g'
}
# pair_run LABEL ARGS...: the launcher, with watch.exe watching the screen and
# a watch of both launchers; the caller answers boxes meanwhile and then calls
# pair_end.
pair_run() {
  PAIR_LABEL=$1
  shift
  zw_wine_reset
  : >"$ZW_LOG_FILE"
  zw_wine "$app/watch.exe" >/dev/null 2>&1 &
  zw_wait_log watch windows 1 60
  zw_watch_start zarnowel.exe,zarnowel64.exe
  WINEDEBUG=+exec zw_start_launcher "$app" "$@"
}

# pair_end FIRST LAST IMAGE CODE: waits for the launcher, which ends with
# CODE (zarnowel.exe's as its sibling's); the items FIRST and LAST were
# started by IMAGE, and the launcher ended after LAST's grace poll and,
# with the real sibling, after the sibling.
pair_end() {
  local first=$1 last=$2 image=$3 code=$4 what=$PAIR_LABEL
  zw_wait_launcher
  zw_watch_end
  zw_expect_eq "$what: exit code" "$(zw_watched zarnowel.exe exit) $ZW_RC" "$code $((code % 256))"
  local siblings=1
  [ "$image" = zarnowel.exe ] && siblings=0
  zw_expect_eq "$what: processes of zarnowel.exe and zarnowel64.exe" \
    "$(zw_watched_count zarnowel.exe) $(zw_watched_count zarnowel64.exe)" "1 $siblings"
  local n
  for n in "$first" "$last"; do
    zw_expect_eq "$what: $n started once" "$(zw_log_count "$n" started)" 1
    zw_expect_match "$what: $n started by $image" "$(zw_log_text "$n" started)" \
      " ppid=$(zw_watched "$image" pid) parent=${image//./\\.}\$"
  done
  local ended after
  ended=$(zw_ft_ms "$(zw_watched zarnowel.exe ended_ft)")
  after=$((ended - $(zw_log_ms "$last" ended)))
  zw_expect_between "$what: the launcher ended after the last item and its grace poll (ms)" \
    "$after" "$GRACE_MS" $((GRACE_MS + SLACK_MS))
  if [ "$image" = zarnowel.exe ]; then
    zw_note "$what: launcher ran $((ZW_END_MS - ZW_START_MS)) ms, ended $after ms after $last.exe"
    return
  fi
  zw_expect_eq "$what: zarnowel64.exe started by zarnowel.exe" "$(zw_watched zarnowel64.exe ppid)" \
    "$(zw_watched zarnowel.exe pid)"
  zw_expect_eq "$what: zarnowel64.exe ended with exit code $code" "$(zw_watched zarnowel64.exe exit)" "$code"
  local gap=$((ended - $(zw_ft_ms "$(zw_watched zarnowel64.exe ended_ft)")))
  zw_expect_between "$what: zarnowel.exe ended after zarnowel64.exe (ms)" "$gap" 0 3000
  zw_note "$what: launcher ran $((ZW_END_MS - ZW_START_MS)) ms; ended $after ms after $last.exe," \
    "$gap ms after zarnowel64.exe"
}

# boxes: every message box watch.exe saw, one a line.
boxes() { zw_windows_seen watch | grep '#32770' | sort -u; }

zw_install_launcher "$app"

# answer_box CAPTION WHAT WAIT_MS REGEX: a box of that caption comes up, is
# described as REGEX says, is seen by watch.exe and is answered OK.
answer_box() {
  local out
  out=$(zw_run_prog answer --caption "$1" --timeout "$3" 2>/dev/null)
  zw_expect_match "plain run: $2" "$out" "$4"
  zw_wait_log_match watch windows "(^| ; )$1 \\[" 30
  zw_run_prog answer --caption "$1" --press ok --timeout 10000 >/dev/null 2>&1
  zw_expect_eq "plain run: $2, answered" "$?" 0
}

pair_run "plain run"
answer_box "file open error" "'file open error' shown by the sibling" 90000 \
  $'^found\tfile open error \\[#32770\\] \\{OK\\|\\.\\\\missing\\.inf\\} visible=1 pid=[0-9]+ image=zarnowel64\\.exe '
# Wine's shell names no caption: "Error", with its own text.
answer_box "Error" "the shell's box for data.zwq, in the sibling" 60000 \
  $'^found\tError \\[#32770\\] .* image=zarnowel64\\.exe '
pair_end first last zarnowel64.exe 2   # missing.inf: the first failure
zw_expect_eq "plain run: no [SetupSilent] item" "$(zw_log_count quiet started)" 0
zw_expect_eq "plain run: exactly those two boxes" "$(boxes | sed 's/ \[#32770\].*//' | tr '\n' '|')" "Error|file open error|"
zw_expect_eq "plain run: starts" "$(starts)" \
  "$MASK_NO_UI $(zw_winpath "$app")\\zarnowel64.exe []
$MASK_UI .\\first.exe [ ]
$MASK_UI .\\data.zwq [ ]
$MASK_UI .\\last.exe [ ]"

pair_run "/s" /s
zw_wait_log last started 1 90
pair_end quiet last zarnowel64.exe 2
zw_expect_eq "/s: no [SetupList] item" "$(zw_log_count first started)" 0
zw_expect_eq "/s: no box at all" "$(boxes)" ""
# quiet.exe's grace poll, then the driver item passed over at once, then
# data.zwq's failed start with its grace poll: no box held the run.
zw_expect_between "/s: last.exe started after two grace polls (ms)" \
  "$(($(zw_log_ms last started) - $(zw_log_ms quiet ended)))" $((2 * GRACE_MS)) $((2 * GRACE_MS + SLACK_MS))
zw_expect_eq "/s: starts" "$(starts)" \
  "$MASK_NO_UI $(zw_winpath "$app")\\zarnowel64.exe [/s]
$MASK_NO_UI .\\quiet.exe [ ]
$MASK_NO_UI .\\data.zwq [ ]
$MASK_NO_UI .\\last.exe [ ]"

# No sibling, a plain run: the list is carried out here, and the failed
# hand-off shows no box either.
rm -f "$app/zarnowel64.exe"
zw_ini "$app" <<'EOF'
[SetupList]
Setup1=1,first.exe, ,
Setup2=1,last.exe, ,
EOF
pair_run "no sibling"
pair_end first last zarnowel.exe 0
zw_expect_eq "no sibling: no box at all" "$(boxes)" ""
zw_expect_eq "no sibling: starts" "$(starts)" \
  "$MASK_NO_UI $(zw_winpath "$app")\\zarnowel64.exe []
$MASK_UI .\\first.exe [ ]
$MASK_UI .\\last.exe [ ]"

zw_finish
