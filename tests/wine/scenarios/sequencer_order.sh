#!/bin/bash
# Three directly started items (parameters " ") run strictly one after the
# other, in both prefixes: each item starts no sooner than the 6 s of the grace
# poll after the previous item and every process its waitList names have
# ended, as the helpers' own time stamps show.
#
# - item 1 waits for side.exe, which the scenario starts itself beside item 1
#   and which outlives it: the wait covers a process the launcher never
#   started;
# - item 2 waits for "*.zwt", a wildcard entry: unpack.zwt, started beside
#   item 2 and outliving it, is waited for by a fragment of its image name;
#   being last, the wildcard entry makes the grace poll take its full 20 polls;
# - item 3 has no waitList: the grace poll watches its own program;
# - item 4 is a batch file, four.cmd, that runs four.exe: no process bears
#   its name, so only the cmd.exe its start gave holds the wait, until
#   four.exe has ended; the launcher ends after that and the grace poll.
#
# 64-bit prefix: zarnowel64.exe started directly (it does the work itself).
# 32-bit prefix: zarnowel.exe, every process emulated.
source "$(dirname "$0")/../lib.sh"
zw_require_wine

GRACE_MS=6000 # 20 polls of 300 ms

# start_beside ITEM NAME: once ITEM has logged its start, runs NAME (in the
# app folder) in the background; its shell pid goes to the file NAME.pid.
start_beside() {
  local item=$1 name=$2
  (zw_wait_log "$item" started 1 90 >/dev/null && zw_wine "$app/$name" >/dev/null 2>&1) &
  echo $! >"$ZW_WORK/$name.pid"
}

# ended_last A B: the later of the two "ended" time stamps.
ended_last() {
  local a b
  a=$(zw_log_ms "$1" ended)
  b=$(zw_log_ms "$2" ended)
  [ "${a:-0}" -gt "${b:-0}" ] && echo "${a:-0}" || echo "${b:-0}"
}

# run_order ARCH EXE IMAGE SLACK_MS
run_order() {
  local arch=$1 exe=$2 image=$3 slack=$4
  zw_prefix "$arch"
  zw_scratch sequencer_order >/dev/null
  app="$ZW_DIR/app"
  zw_install_launcher "$app"
  zw_helper "$app" one.exe 4500
  zw_helper "$app" side.exe 7500
  zw_helper "$app" two.exe 4500
  zw_helper "$app" unpack.zwt 7500
  zw_helper "$app" three.exe 1000
  zw_helper "$app" four.exe 9000
  printf '@echo off\r\nfour.exe\r\n' >"$app/four.cmd"
  # The blank of a direct start needs a comma after it: the profile reader
  # drops blanks at the end of a value.
  zw_ini "$app" <<'EOF'
[SetupList]
Setup1=1,one.exe, ,side.exe
Setup2=1,two.exe, ,absent.exe~*.zwt
Setup3=1,three.exe, ,
Setup4=1,four.cmd, ,
EOF

  start_beside one side.exe
  start_beside two unpack.zwt
  ZW_EXE=$exe ZW_TIMEOUT=240 zw_run_launcher "$app"
  local p
  for p in side.exe unpack.zwt; do wait "$(cat "$ZW_WORK/$p.pid")"; done
  local run=$((ZW_END_MS - ZW_START_MS))
  zw_note "$arch: $exe ran $run ms"
  zw_expect_eq "$arch: exit code" "$ZW_RC" 0

  local n
  for n in one side two unpack three four; do
    zw_expect_eq "$arch: $n started once" "$(zw_log_count $n started)" 1
    zw_expect_eq "$arch: $n ended once" "$(zw_log_count $n ended)" 1
  done
  for n in one two three; do
    zw_expect_match "$arch: $n started by the launcher" "$(zw_log_text $n started)" " parent=$image\$"
    zw_expect_eq "$arch: $n got no parameters (direct start)" "$(zw_log_text $n tail)" "[]"
  done
  zw_expect_match "$arch: four.exe started by the batch file's cmd.exe" "$(zw_log_text four started)" ' parent=cmd\.exe$'
  zw_expect_match "$arch: unpack.zwt runs under its own image name" "$(zw_log_text unpack module)" '\\unpack\.zwt$'

  # The waitList processes really ran beside their items and outlived them.
  zw_expect_between "$arch: side.exe started while one.exe ran (ms before its end)" \
    "$(($(zw_log_ms one ended) - $(zw_log_ms side started)))" 1 60000
  zw_expect_between "$arch: side.exe outlived one.exe (ms)" \
    "$(($(zw_log_ms side ended) - $(zw_log_ms one ended)))" 1 60000
  zw_expect_between "$arch: unpack.zwt started while two.exe ran (ms before its end)" \
    "$(($(zw_log_ms two ended) - $(zw_log_ms unpack started)))" 1 60000
  zw_expect_between "$arch: unpack.zwt outlived two.exe (ms)" \
    "$(($(zw_log_ms unpack ended) - $(zw_log_ms two ended)))" 1 60000

  # Each next item only after the grace poll that follows the last process.
  local gap2 gap3 gap4 tail fourStarted fourEnded
  gap2=$(($(zw_log_ms two started) - $(ended_last one side)))
  gap3=$(($(zw_log_ms three started) - $(ended_last two unpack)))
  # four.exe may have been ended with the prefix, before its "ended" line.
  fourStarted=$(zw_log_ms four started)
  fourEnded=$(zw_log_ms four ended)
  gap4=$((${fourStarted:-0} - $(zw_log_ms three ended)))
  tail=$((ZW_END_MS - ${fourEnded:-0}))
  zw_note "$arch: two.exe started $gap2 ms after side.exe ended, three.exe $gap3 ms after unpack.zwt ended," \
    "four.exe $gap4 ms after three.exe ended, the launcher ended $tail ms after four.exe"
  zw_expect_between "$arch: item 2 starts after item 1 and side.exe and the grace poll (ms)" \
    "$gap2" "$GRACE_MS" $((GRACE_MS + slack))
  zw_expect_between "$arch: item 3 starts after item 2 and unpack.zwt and the grace poll (ms)" \
    "$gap3" "$GRACE_MS" $((GRACE_MS + slack))
  zw_expect_between "$arch: item 4 starts after item 3 and the grace poll (ms)" \
    "$gap4" "$GRACE_MS" $((GRACE_MS + slack))
  # The batch file ends with four.exe; without its process held, the grace
  # poll on the name four.cmd would end the run while four.exe still ran.
  zw_expect_between "$arch: the run ends after the batch file's program and the grace poll (ms)" \
    "$tail" "$GRACE_MS" $((GRACE_MS + slack))
  zw_expect_eq "$arch: nothing started but the four items and the two waited-for processes" \
    "$(zw_log_count '' started)" 6
  zw_wine_reset
}

run_order win64 zarnowel64.exe zarnowel64.exe 6000
# Every process is emulated in the 32-bit prefix: starts take seconds.
run_order win32 zarnowel.exe zarnowel.exe "${ZW_EMULATED_SLACK_MS:-15000}"
zw_finish
