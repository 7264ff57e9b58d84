#!/bin/bash
# The end-to-end driver: run.sh CASE. A case (cases/<name>.case) is data: the
# prefixes it runs in, the stand-in programs with their run times, the setup
# list, the run, and one line per expectation; see tests/wine/README.md. The
# case is read once per prefix, each time in a fresh scratch folder. How a
# Windows program runs is the host file's matter (ZW_E2E_HOST, default
# host-wine.sh), never the case's.
# Sourced rather than run (scripts/run-example.sh, screenshot.sh, the
# bench), it gives the rig alone: the checks, the log, the scratch folder.
#
# Environment (set by CTest; defaults fit a checkout with the standard presets):
#   ZW_SOURCE_DIR   the source tree
#   ZW_WIN32_DIR    build folder of the win32 preset (zarnowel.exe, tests/wine/progs/*.exe)
#   ZW_WIN64_DIR    build folder of the win64 preset (zarnowel64.exe, tests/wine/progs/*.exe)
#   ZW_KEEP=1       keep the scratch folder even when the case passes
# and the host file's own (host-wine.sh: where the prefixes are kept).
set -u
E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  [ $# = 1 ] || { echo "usage: $0 CASE-FILE" >&2; exit 2; }
  CASE_FILE=$(realpath "$1")
  ZW_SCENARIO=$(basename "$CASE_FILE" .case)
fi
ZW_LIB_DIR=$(cd "$E2E_DIR/.." && pwd)
: "${ZW_SOURCE_DIR:=$(cd "$ZW_LIB_DIR/../.." && pwd)}"
: "${ZW_WIN32_DIR:=$ZW_SOURCE_DIR/build/win32}"
: "${ZW_WIN64_DIR:=$ZW_SOURCE_DIR/build/win64}"
export ZW_SOURCE_DIR ZW_WIN32_DIR ZW_WIN64_DIR
ZW_SCENARIO=${ZW_SCENARIO:-$(basename "$0" .sh)}
ZW_FAILS=0
ZW_PASSES=0
ZW_WORK=$(mktemp -d "${TMPDIR:-/tmp}/zw-$ZW_SCENARIO.XXXXXX")
ZW_XVFB_PID=
ZW_LOCKS=()
ZW_WINDOWS_FILES=()
ZW_SCRATCH=
ZW_LAUNCHER_PID=
ZW_WATCH_PID=
ZW_RC=
ZW_AT_EXIT=()

# ---------------------------------------------------------------- messages

zw_note() { echo "[$ZW_SCENARIO] $*"; }

zw_skip() {
  echo "SKIP: $*"
  exit 77
}

zw_fail() {
  ZW_FAILS=$((ZW_FAILS + 1))
  echo "FAIL: $*"
}

zw_ok() {
  ZW_PASSES=$((ZW_PASSES + 1))
  echo "ok: $*"
}

# ---------------------------------------------------------------- clean-up

zw_cleanup() {
  local rc=$?
  if [ -n "${ZW_LAUNCHER_PID:-}" ] && kill -0 "$ZW_LAUNCHER_PID" 2>/dev/null; then
    kill "$ZW_LAUNCHER_PID" 2>/dev/null
  fi
  if [ -n "${HOST_C:-}" ] && [ -d "$HOST_C" ]; then
    local undo
    for undo in "${ZW_AT_EXIT[@]}"; do "$undo"; done
    host_reset # nothing of this test may live on into the next one
    local f
    for f in "${ZW_WINDOWS_FILES[@]}"; do rm -f "$HOST_C/windows/$f"; done
    if [ -n "$ZW_SCRATCH" ] && [ -d "$ZW_SCRATCH" ]; then
      if [ "$ZW_FAILS" = 0 ] && [ "$rc" = 0 ] && [ "${ZW_KEEP:-0}" != 1 ]; then
        rm -rf "$ZW_SCRATCH"
      else
        echo "[$ZW_SCENARIO] scratch kept: $ZW_SCRATCH"
      fi
    fi
  fi
  if [ -n "$ZW_XVFB_PID" ]; then
    kill "$ZW_XVFB_PID" 2>/dev/null
    zw_until 3 zw_gone "$ZW_XVFB_PID"
  fi
  rm -rf "$ZW_WORK"
  local l
  for l in "${ZW_LOCKS[@]}"; do rm -rf "$l"; done
}
# zw_at_exit FUNCTION: FUNCTION runs when the scenario exits, however it
# exits, before the prefix's processes are ended: it undoes a change that the
# scenario made to the shared prefix (and may be called earlier by it).
zw_at_exit() { ZW_AT_EXIT+=("$1"); }

trap zw_cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# ---------------------------------------------------------------- scratch, files, programs

# zw_scratch NAME: a fresh folder C:\zwtest\NAME; sets ZW_DIR (Unix) and
# ZW_WDIR (Windows), and exports the helper log ZW_LOG (C:\zwtest\NAME\zwlog.txt,
# Unix path in ZW_LOG_FILE) and the helpers' configuration folder ZW_CONF.
zw_scratch() {
  ZW_DIR="$HOST_C/zwtest/$1"
  rm -rf "$ZW_DIR"
  mkdir -p "$ZW_DIR/conf"
  ZW_SCRATCH=$ZW_DIR
  ZW_WDIR=$(host_winpath "$ZW_DIR")
  ZW_CONF_DIR="$ZW_DIR/conf"
  ZW_LOG_FILE="$ZW_DIR/zwlog.txt"
  export ZW_LOG="$ZW_WDIR\\zwlog.txt" ZW_CONF="$ZW_WDIR\\conf"
  : >"$ZW_LOG_FILE"
  echo "$ZW_DIR $ZW_WDIR"
}

# zw_install_launcher DIR: zarnowel.exe and zarnowel64.exe into DIR.
zw_install_launcher() {
  [ -f "$ZW_WIN32_DIR/zarnowel.exe" ] || zw_skip "zarnowel.exe not built in $ZW_WIN32_DIR (build the win32 preset)"
  [ -f "$ZW_WIN64_DIR/zarnowel64.exe" ] || zw_skip "zarnowel64.exe not built in $ZW_WIN64_DIR (build the win64 preset)"
  mkdir -p "$1"
  cp "$ZW_WIN32_DIR/zarnowel.exe" "$ZW_WIN64_DIR/zarnowel64.exe" "$1/"
}

# zw_helper DIR NAME MS [EXIT]: helper.exe copied to DIR/NAME (e.g. long.exe),
# running MS milliseconds and ending with EXIT (default 0).
zw_helper() {
  mkdir -p "$1"
  cp "$ZW_PROGS/helper.exe" "$1/$2"
  zw_helper_time "$2" "$3" "${4:-0}"
}

# zw_helper_time NAME MS [EXIT]: (re)configure every helper copy of that base name.
zw_helper_time() { echo "$2 ${3:-0}" >"$ZW_CONF_DIR/${1%.*}.ms"; }

# zw_ini DIR < text: writes DIR/Zarnowel.ini with CRLF line ends; with
# ZW_INI_ENCODING=cp949 the UTF-8 text is stored as code page 949.
zw_ini() {
  sed 's/$/\r/' | if [ -n "${ZW_INI_ENCODING:-}" ]; then iconv -f UTF-8 -t "$ZW_INI_ENCODING"; else cat; fi >"$1/Zarnowel.ini"
}

# 32 or 64: the width of a PE executable.
zw_pe_bits() {
  local off machine
  off=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j$((off + 4)) -N2 "$1" | tr -d ' ')
  case $machine in 8664) echo 64 ;; 14c) echo 32 ;; *) echo 0 ;; esac
}

# zw_prog NAME: Unix path of a built test program (helper, answer, winprobe, ...).
zw_prog() { echo "$ZW_PROGS/$1.exe"; }

# zw_run_prog NAME ARGS...: runs a test program in the foreground, output to stdout.
zw_run_prog() { host_run "$(zw_prog "$1")" "${@:2}"; }

zw_crashed() { grep -Eq 'Unhandled exception|Unhandled page fault|page fault on|Backtrace:|to unimplemented function' "$1" 2>/dev/null; }
zw_check_crash() {
  if zw_crashed "$1"; then
    zw_fail "$2 crashed under Wine:"
    sed 's/^/    /' "$1" | head -40
  fi
}

# zw_run_example DIR [ARGS...]: the bundled example (examples/, already copied
# into DIR beside the launcher) with its stand-in installers: starts
# DIR/zarnowel.exe with ARGS, starts rtpost.exe (a process an installer leaves
# behind) once rtsetup.exe runs, waits until the prefix falls quiet and checks
# that all four ran, item 4 only after rtpost.exe had ended. ZW_EXAMPLE_T0 is
# when it started.
zw_run_example() {
  local dir=$1 leftover
  shift
  zw_helper "$dir" tool.exe 1500
  zw_helper "$dir/runtime" rtsetup.exe 5000
  zw_helper "$dir" rtpost.exe 8000
  zw_helper "$dir/app" appsetup.exe 3000
  ZW_WINDOWS_FILES+=(tool.exe) # item 1 copies it into C:\windows: removed now and at exit
  rm -f "$HOST_C/windows/tool.exe"
  (zw_wait_log rtsetup started 1 200 >/dev/null && host_run "$dir/rtpost.exe" >/dev/null 2>&1) &
  leftover=$!
  ZW_EXAMPLE_T0=$(zw_now_ms)
  ZW_TIMEOUT=300 host_start_launcher "$dir" "$@" && host_wait_launcher
  # zarnowel.exe waits for its sibling; anything else the run left behind
  # ends before the checks.
  host_quiet 300
  wait "$leftover"
  zw_expect_eq "zarnowel.exe exit code" "$ZW_RC" 0
  zw_expect_eq "every stand-in installer ran" "$(zw_log_count '' ended)" 4
  zw_expect "item 4 started after rtpost.exe, named by item 3, had ended" \
    test "$(zw_log_ms appsetup started)" -gt "$(zw_log_ms rtpost ended)"
}

# ---------------------------------------------------------------- the helper log

# Lines are "<ms> TAB <name> TAB <pid> TAB <event> TAB <text>" (progs/zwprog.h).
# NAME and EVENT match without regard to case; "" or "*" matches any.

# zw_log_lines [NAME [EVENT]]
zw_log_lines() {
  awk -F'\t' -v n="${1:-*}" -v e="${2:-*}" \
    '(n=="*"||n==""||tolower($2)==tolower(n)) && (e=="*"||e==""||tolower($4)==tolower(e))' "$ZW_LOG_FILE"
}

# zw_windows_seen PROG: every top-level window that the helper PROG logged
# seeing, one a line (its "windows" lines list them separated by " ; ").
zw_windows_seen() { zw_log_lines "$1" windows | cut -f5- | sed 's/ ; /\n/g'; }

# zw_log_count NAME EVENT
zw_log_count() { zw_log_lines "$1" "$2" | wc -l | tr -d ' '; }

# zw_log_text / zw_log_ms / zw_log_pid NAME EVENT [N]: the text, time stamp
# or pid of the Nth such line (1 = first, -1 = last).
zw_log_text() { zw_log_field 5 "$@"; }
zw_log_ms() { zw_log_field 1 "$@"; }
zw_log_pid() { zw_log_field 3 "$@"; }
zw_log_field() {
  local range=$1 line=${4:-1}p
  [ "$range" = 5 ] && range=5- # the text may be anything after the fourth tab
  [ "$line" = -1p ] && line=\$p
  zw_log_lines "$2" "$3" | sed -n "$line" | cut -f"$range"
}

# zw_log_reaches NAME EVENT [COUNT [SECONDS]]: waits until COUNT such lines
# are there; status 1 when they aren't in time, with nothing reported.
zw_log_reaches() { zw_until "${4:-60}" zw_log_has "$1" "$2" "${3:-1}"; }
zw_log_has() { [ "$(zw_log_count "$1" "$2")" -ge "$3" ]; }

# zw_wait_log NAME EVENT [COUNT [SECONDS]]: the same, a failure when they aren't.
zw_wait_log() {
  zw_log_reaches "$@" && return 0
  zw_fail "no ${3:-1} x '$2' of '$1' in the log within ${4:-60} s"
  return 1
}

# zw_wait_log_match NAME EVENT REGEX [SECONDS]: waits for such a line whose
# text matches the extended regex.
zw_wait_log_match() {
  zw_until "${4:-60}" zw_log_matches "$1" "$2" "$3" && return 0
  zw_fail "no '$2' of '$1' matching /$3/ in the log within ${4:-60} s"
  return 1
}
zw_log_matches() { zw_log_lines "$1" "$2" | cut -f5- | grep -Eq -- "$3"; }

# zw_until SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds;
# status 1 when SECONDS have passed first.
zw_until() {
  local end=$(($(zw_now_ms) + $1 * 1000))
  shift
  until "$@"; do
    [ "$(zw_now_ms)" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# zw_gone PID: no such process (any more).
zw_gone() { ! kill -0 "$1" 2>/dev/null; }

# ---------------------------------------------------------------- watched processes

# zw_watch_start NAME[,NAME...] [TITLE]: procprobe logs the processes of those
# image names (and the window TITLE) appearing and going, with the system's
# times and the whole exit code (a Unix exit status keeps its low 8 bits), until
# zw_watch_end. Wine's loader now and then gives up on a start without a word:
# a watcher silent for 30 s is started once more.
zw_watch_start() {
  rm -f "$ZW_DIR/procprobe.stop"
  : >"$ZW_WORK/procprobe.out"
  local args=(--watch "$1" --for 600000 --until-file "$ZW_WDIR\\procprobe.stop") want try
  [ -n "${2:-}" ] && args+=(--window "$2")
  want=$(($(zw_log_count procprobe watching) + 1))
  for try in 1 2; do
    zw_run_prog procprobe "${args[@]}" >>"$ZW_WORK/procprobe.out" 2>&1 &
    ZW_WATCH_PID=$!
    zw_log_reaches procprobe watching "$want" 30 && return 0
    kill "$ZW_WATCH_PID" 2>/dev/null
    wait "$ZW_WATCH_PID" 2>/dev/null
    zw_note "procprobe did not report within 30 s (start $try): $(tail -n 3 "$ZW_WORK/procprobe.out" | tr '\n' ' ')"
  done
  ZW_WATCH_PID=
  zw_fail "procprobe never reported watching"
  return 1
}

# zw_watch_settle: waits until every process the watch saw is gone (10 s at
# most): a program's Unix side may end before Wine has let go of its process.
# zw_watch_end: ends the watch.
zw_watch_settle() { [ -z "${ZW_WATCH_PID:-}" ] || zw_until 10 zw_watch_quiet; }
zw_watch_end() {
  [ -n "${ZW_WATCH_PID:-}" ] || return 0
  touch "$ZW_DIR/procprobe.stop"
  wait "$ZW_WATCH_PID"
  ZW_WATCH_PID=
}

zw_watch_quiet() { [ "$(zw_log_count procprobe gone)" -ge "$(zw_log_count procprobe seen)" ]; }

# zw_watched_count IMAGE: how many processes of that image name were seen.
zw_watched_count() { zw_watched_seen "$1" | wc -l; }
zw_watched_seen() { zw_log_lines procprobe seen | cut -f5 | awk -v i="image=$1" 'tolower($NF) == tolower(i)'; }

# zw_watched IMAGE FIELD [N]: FIELD (pid, ppid, created_ft, ended_ft, exit) of
# the Nth process of that image name the watch saw; empty when there is none.
zw_watched() {
  local seen pid
  seen=$(zw_watched_seen "$1" | sed -n "${3:-1}p")
  [ -n "$seen" ] || return 0
  pid=${seen#pid=}
  pid=${pid%% *}
  { echo "$seen"; zw_log_lines procprobe gone | cut -f5 | grep "^pid=$pid "; } | tr ' ' '\n' | sed -n "s/^$2=//p" | head -n1
}

# zw_ft_ms FILETIME: the same moment in Unix ms.
zw_ft_ms() { echo $(($1 / 10000 - 11644473600000)); }

# ---------------------------------------------------------------- checks

zw_now_ms() { date +%s%3N; }

# zw_expect DESCRIPTION COMMAND...: the command must succeed.
zw_expect() {
  local what=$1
  shift
  if "$@"; then zw_ok "$what"; else zw_fail "$what (command: $*)"; fi
}

# zw_expect_eq DESCRIPTION ACTUAL EXPECTED
zw_expect_eq() {
  if [ "$2" = "$3" ]; then zw_ok "$1: '$2'"; else zw_fail "$1: got '$2', expected '$3'"; fi
}

# zw_expect_match DESCRIPTION TEXT EXTENDED-REGEX
zw_expect_match() {
  if printf '%s\n' "$2" | grep -Eq -- "$3"; then zw_ok "$1"; else zw_fail "$1: '$2' does not match /$3/"; fi
}

# zw_expect_no_match DESCRIPTION TEXT EXTENDED-REGEX
zw_expect_no_match() {
  if printf '%s\n' "$2" | grep -Eq -- "$3"; then zw_fail "$1: '$2' matches /$3/"; else zw_ok "$1"; fi
}

# zw_expect_between DESCRIPTION VALUE LOW HIGH (integers, inclusive)
zw_expect_between() {
  if [[ "$2" =~ ^-?[0-9]+$ ]] && [ "$2" -ge "$3" ] && [ "$2" -le "$4" ]; then
    zw_ok "$1: $2 in [$3, $4]"
  else
    zw_fail "$1: '$2' not in [$3, $4]"
  fi
}

# zw_log_show: the helpers' log as it stands (after a failure: what ran when).
zw_log_show() {
  echo "---- helper log $ZW_LOG_FILE"
  cat "$ZW_LOG_FILE" 2>/dev/null
  echo "----"
}

# Ends the scenario: one line PASS or FAIL; the helper log on failure.
zw_finish() {
  if [ $((ZW_PASSES + ZW_FAILS)) = 0 ]; then zw_fail "the scenario checked nothing"; fi
  if [ "$ZW_FAILS" = 0 ]; then
    echo "PASS: $ZW_SCENARIO ($ZW_PASSES checks)"
    exit 0
  fi
  [ -n "${ZW_LOG_FILE:-}" ] && zw_log_show
  echo "FAIL: $ZW_SCENARIO ($ZW_FAILS failed, $ZW_PASSES passed)"
  exit 1
}

# shellcheck source=host-wine.sh
source "${ZW_E2E_HOST:-$E2E_DIR/host-wine.sh}"
source "$ZW_LIB_DIR/msi/msi.sh"

declare -A OUT RC MARK
BESIDE_PIDS=()
PASS_WINDOWS_FILES=()

# ---------------------------------------------------------------- setup verbs

# Paths in a case are relative to the scratch folder unless absolute: app/x.exe
# is beside the launcher; $WIN is C:\windows, $APP the launcher's folder
# (Windows spelling: $WAPP, $WDIR).
e2e_path() { case $1 in /*) echo "$1" ;; *) echo "$ZW_DIR/$1" ;; esac; }
# e2e_dest PATH: the same, its folder made.
e2e_dest() {
  local p
  p=$(e2e_path "$1")
  mkdir -p "$(dirname "$p")"
  echo "$p"
}

# prefixes ARCH[=EXE]...: read by the driver before the case runs (default win64).
prefixes() { :; }

# helper PATH MS [EXIT]: a stand-in program at PATH, running MS ms, ending with EXIT.
helper() { zw_helper "$(dirname "$(e2e_path "$1")")" "$(basename "$1")" "$2" "${3:-0}"; }

# put PATH TEXT: a file holding TEXT (CR LF); copy SRC DEST: a copy of the
# file SRC (a Unix path); hardlink TARGET LINK: a second name of TARGET.
put() { printf '%s\r\n' "$2" >"$(e2e_dest "$1")"; }
copy() { cp "$1" "$(e2e_dest "$2")"; }
hardlink() { ln -f "$(e2e_path "$1")" "$(e2e_dest "$2")"; }

# native_first DLL...: programs started after it take these DLLs by the
# system's search order, as Windows does, never from a copy of the host's own.
native_first() { host_native_first "$@"; }

# windows_file NAME: C:\windows\NAME is removed before the run and after the
# pass; drive_file PATH: the same for C:\PATH.
windows_file() { drive_file "windows/$1"; }
drive_file() {
  rm -f "$HOST_C/$1"
  PASS_WINDOWS_FILES+=("$1")
}

# package [SLOW [reboot|older]]: app/zwpackage.msi, a real Windows Installer
# package whose installation runs the program SLOW and, with reboot, asks for
# a restart (older: version 0.9.0 under its own product code, same upgrade
# code); $INSTALLED is its installed file, $PAYLOAD what it must hold.
# uninstall: the package is removed (the prefix is shared).
package() {
  zw_msi_require
  local slow=""
  [ -z "${1:-}" ] || slow=$(e2e_path "$1")
  if [ -n "${2:-}" ]; then zw_msi_build "$APP" "$slow" "$2"; else zw_msi_build "$APP" ${slow:+"$slow"}; fi || zw_finish
  INSTALLED=$ZW_MSI_INSTALLED PAYLOAD=$ZW_MSI_SRC/zwpayload.txt
}
# (uninstall and example wait until the system falls quiet: the watch ends first.)
uninstall() {
  host_watch_end
  zw_msi_remove
}

# example [ARGS...]: the bundled example, copied into app/ beside the
# launcher, run with its stand-in installers (zw_run_example: all four ran,
# in order, exit code 0).
example() {
  host_watch_end
  zw_run_example "$APP" "$@"
}

# launcher: both launchers (again) in app/; remove PATH: a file goes.
launcher() { zw_install_launcher "$APP"; }
remove() { rm -f "$(e2e_path "$1")"; }

# list [DIR] <<EOF: the setup list Zarnowel.ini (CR LF) in DIR (default the launcher's folder), made.
list() { zw_ini "$(dirname "$(e2e_dest "${1:-app}/Zarnowel.ini")")"; }

# ---------------------------------------------------------------- run verbs

# start [ARGS...] / join: the launcher ($EXE in app/) started, and waited for
# (and then every program that `beside` started). run = start + join.
start() { ZW_EXE=$EXE host_start_launcher "$APP" "$@"; }
join() {
  host_wait_launcher
  host_watch_settle
  local p
  for p in "${BESIDE_PIDS[@]}"; do wait "$p"; done
  BESIDE_PIDS=()
}
run() { ! start "$@" || join; }

# beside ITEM PATH: once the helper ITEM has started, PATH runs too (a
# process the launcher never started).
beside() {
  (zw_wait_log "$1" started 1 90 >/dev/null && host_run "$(e2e_path "$2")" >/dev/null 2>&1) &
  BESIDE_PIDS+=($!)
}

# spawn PATH [ARGS...]: PATH runs in the background until the pass or a reset ends it.
spawn() { host_run "$(e2e_path "$1")" "${@:2}" >/dev/null 2>&1 & }

# language eng|kor: the system locale of every program started after it (ends
# what runs); a failure when the system cannot give it.
language() {
  host_locale "$1" && return 0
  zw_fail "$(e2e_what "no locale $1 on this system")"
  return 1
}

# probing KEY PROG ARGS...: the same in the background; collect KEY waits
# for it and fills OUT, RC, MARK (a crash report fails); alive KEY checks it still runs.
declare -A PROBING
probing() {
  local key=$1 prog=$2
  shift 2
  [[ $prog == */* || $prog == *\\* ]] || prog=$(zw_prog "$prog")
  host_run "$prog" "$@" >"$ZW_WORK/probe.$key" 2>"$ZW_WORK/probe.$key.err" &
  PROBING[$key]=$!
}
collect() {
  wait "${PROBING[$1]}"
  RC[$1]=$?
  OUT[$1]=$(tr -d '\r' <"$ZW_WORK/probe.$1")
  MARK[$1]=$(zw_now_ms)
  zw_check_crash "$ZW_WORK/probe.$1.err" "$(e2e_what probe "$1")"
}
alive() { zw_expect "$(e2e_what alive "$1")" kill -0 "${PROBING[$1]}"; }

# probe KEY PROG ARGS...: the test program PROG (or the program at the Unix
# or Windows path PROG) run now: its output (CR dropped) OUT[KEY], its exit code RC[KEY],
# the time it ended MARK[KEY].
probe() {
  probing "$@"
  collect "$1"
}

# watch [IMAGE,... [TITLE]]: before start: a process watch of those image
# names (default $EXE), and of the window TITLE, for the rest of the pass (up
# to a reset or another watch); its lines (procprobe seen/gone/window-shown/
# window-gone) go to the log, and it gives whole exit codes and system times.
# join waits until it has seen every process it saw start end (10 s at most).
watch() {
  host_watch_end
  host_watch_start "${1:-$EXE}" "${2:-}"
}

# unwatch: the watch ends now, so that what it saw stands still for the checks.
unwatch() { host_watch_end; }

# clear: a further run in the same pass, after a row that left nothing
# running: the log and the probes' results emptied, the processes (and the
# watch) left as they are.
clear() {
  : >"$ZW_LOG_FILE"
  OUT=() RC=() MARK=()
}
# reset: the same after a row that leaves something running: every process
# ended first (the watch too).
reset() {
  host_watch_end
  host_reset
  clear
}

# pause SECONDS; mark KEY: MARK[KEY] is now.
pause() { sleep "$1"; }
mark() { MARK[$1]=$(zw_now_ms); }

# ---------------------------------------------------------------- runs of their own
# Many runs, each of the launcher DIR/$EXE in a folder of its own, from $START
# (default the scratch folder), with its helpers logging to logs/NAME.txt,
# bounded by SOLO_TIMEOUT seconds (90); each is judged by one check and a row
# of the table that `solo_table` prints.

# launch NAME DIR [ARGS...]: such a run in the background (SOLO_PID); wait for it.
SOLO_TABLE=()
launch() {
  local name=$1 dir=$2
  shift 2
  mkdir -p "$ZW_DIR/logs" "$ZW_WORK/solo"
  (
    export ZW_LOG="$ZW_WDIR\\logs\\$name.txt"
    : >"$ZW_DIR/logs/$name.txt"
    t0=$(zw_now_ms)
    cd "${START:-$ZW_DIR}" && host_bounded "${SOLO_TIMEOUT:-90}" "$dir/$EXE" "$@" \
      >"$ZW_WORK/solo/$name.out" 2>"$ZW_WORK/solo/$name.err"
    echo "$? $t0 $(zw_now_ms)" >"$ZW_WORK/solo/$name.rc"
  ) &
  SOLO_PID=$!
}

# solo NAME DIR BOUND_MS "STARTED..." [ARGS...]: launch, wait, judge.
solo() {
  local name=$1 dir=$2 bound=$3 want=$4
  shift 4
  launch "$name" "$dir" "$@"
  wait "$SOLO_PID"
  judge "$name" "$bound" "$want"
}

# solo_log NAME EVENT [ITEM]: the texts of those lines of the run's log.
solo_log() { awk -F'\t' -v e="$2" -v n="${3:-}" '$4 == e && (n == "" || $2 ~ n)' "$ZW_DIR/logs/$1.txt" | cut -f5; }

# judge NAME BOUND_MS "STARTED..." [EXTRA_FAILURE]: the finished run ended
# within BOUND_MS with an exit code of design (0, 2 or 13; exactly SOLO_RC
# when set), with no crash report, and started exactly the programs STARTED
# (base names), once each, in this order; EXTRA_FAILURE, when not empty, fails it.
judge() {
  local name=$1 bound=$2 want=$3 extra=${4:-} rc t0 t1 ms got outcome="" retried="" res=$ZW_WORK/solo/$1
  read -r rc t0 t1 <"$res.rc"
  ms=$((t1 - t0))
  retried=$(grep -o 'retried after the loader failed[^)]*)' "$res.err")
  got=$(awk -F'\t' '$4 == "started" { printf "%s%s", sep, $2; sep = " " }' "$ZW_DIR/logs/$name.txt")
  if { [ -n "${SOLO_RC:-}" ] && [ "$rc" != "$SOLO_RC" ]; } || { [ -z "${SOLO_RC:-}" ] && [ "$rc" != 0 ] && [ "$rc" != 2 ] && [ "$rc" != 13 ]; }; then
    outcome+="exit code $rc${SOLO_RC:+, expected $SOLO_RC}; "
    sed 's/^/    /' "$res.err" | head -20
  fi
  [ "$ms" -le "$bound" ] || outcome+="took longer than the bound; "
  if zw_crashed "$res.err"; then
    outcome+="Wine crash report; "
    sed 's/^/    /' "$res.err" | head -20
  fi
  [ "$got" = "$want" ] || outcome+="started [${got}], expected [${want}]; "
  [ -n "$extra" ] && outcome+="$extra; "
  if [ -z "$outcome" ]; then
    outcome="ok: ${want:+started $want}"
    [ -n "$want" ] || outcome+="nothing started"
    [ -n "$retried" ] && outcome+=" ($retried)"
    zw_ok "$(e2e_what "$name: exit $rc in $ms ms (bound $bound), ${outcome#ok: }")"
  else
    outcome="FAIL: ${outcome%; }"
    zw_fail "$(e2e_what "$name: $outcome")"
  fi
  SOLO_TABLE+=("$(printf '%-22s %4s %7s %7s  %s' "$name" "$rc" "$ms" "$bound" "$outcome")")
}
solo_table() {
  echo
  echo "case                     rc      ms   bound  outcome"
  printf '%s\n' "${SOLO_TABLE[@]}"
  SOLO_TABLE=()
}

# ---------------------------------------------------------------- expectations
# One line each; the line itself, with the prefix, is the check's name.

# LABEL (set in a case) tells apart the runs of one pass.
e2e_what() { echo "$ARCH${LABEL:+ $LABEL}: $*"; }

# exit_code N: the launcher's exit code; the loader reports its low 8 bits,
# a watch (see watch) the whole code.
exit_code() {
  if [ -n "$(zw_watched "$EXE" exit)" ]; then
    zw_expect_eq "$(e2e_what exit code, whole and low 8 bits)" "$(zw_watched "$EXE" exit) $ZW_RC" "$1 $(($1 % 256))"
  else
    zw_expect_eq "$(e2e_what exit code)" "$ZW_RC" "$(($1 % 256))"
  fi
}

# watched IMAGE FIELD WANT [N]: what the watch saw of the Nth process of that
# image (pid, ppid, created_ft, ended_ft, exit).
watched() { zw_expect_eq "$(e2e_what watched "$@")" "$(zw_watched "$1" "$2" "${4:-1}")" "$3"; }

# count NAME EVENT N: N such lines in the helpers' log ("" or * for any name).
count() { zw_expect_eq "$(e2e_what count "$@")" "$(zw_log_count "$1" "$2")" "$3"; }

# text NAME EVENT WANT [N]: the text of the Nth such line (1 first, -1 last) is WANT.
text() { zw_expect_eq "$(e2e_what text "$1" "$2" "[${4:-1}]")" "$(zw_log_text "$1" "$2" "${4:-1}")" "$3"; }

# e2e_texts NAME EVENT N: the Nth such text, or with N = all all of them.
e2e_texts() {
  if [ "$3" = all ]; then zw_log_lines "$1" "$2" | cut -f5-; else zw_log_text "$1" "$2" "$3"; fi
}

# match / nomatch NAME EVENT ERE [N|all]: the text (default the first; all: any line) matches ERE or not.
match() { zw_expect_match "$(e2e_what match "$@")" "$(e2e_texts "$1" "$2" "${4:-1}")" "$3"; }
nomatch() { zw_expect_no_match "$(e2e_what nomatch "$@")" "$(e2e_texts "$1" "$2" "${4:-all}")" "$3"; }

# A point in time: @start or @end of the launcher, @KEY (a probe or mark),
# NAME:EVENT[:N] from the log, A+B:EVENT the later of A's and B's,
# ^IMAGE:created|ended[:N] the system's times of a watched process.
e2e_point() {
  case $1 in
    @start) echo "$ZW_START_MS" ;;
    @end) echo "$ZW_END_MS" ;;
    @*) echo "${MARK[${1#@}]:-}" ;;
    ^*)
      local spec=${1#^} ft image when n
      IFS=: read -r image when n <<<"$spec"
      ft=$(zw_watched "$image" "${when}_ft" "${n:-1}")
      [ -n "$ft" ] && zw_ft_ms "$ft"
      ;;
    *)
      local names=${1%%:*} rest=${1#*:} event n name t best=
      event=${rest%%:*}
      n=1
      [ "$rest" != "$event" ] && n=${rest#*:}
      IFS=+ read -ra names <<<"$names"
      for name in "${names[@]}"; do
        t=$(zw_log_ms "$name" "$event" "$n")
        [ -z "$t" ] && { echo ""; return; }
        [ -z "$best" ] || [ "$t" -gt "$best" ] && best=$t
      done
      echo "$best"
      ;;
  esac
}

# seen NAME EVENT [COUNT [SECONDS]]: the log reaches COUNT (1) such lines in time (60 s).
seen() {
  if zw_log_reaches "$@"; then zw_ok "$(e2e_what seen "$@")"; else zw_fail "$(e2e_what seen "$@"): not in time"; fi
}

# window NAME ENTRY: the helper NAME saw a top-level window listed exactly as
# ENTRY ("title [class] {child texts}"); window_count NAME ERE N [BUT]: N of
# its window sightings match ERE (those holding the text BUT not counted).
window() { zw_expect "$(e2e_what window "$@")" grep -Fqx -- "$2" <(zw_windows_seen "$1"); }
window_count() {
  zw_expect_eq "$(e2e_what window_count "$@")" \
    "$(zw_windows_seen "$1" | grep -E -- "$2" | { if [ -n "${4:-}" ]; then grep -vF -- "$4"; else cat; fi; } | grep -c .)" "$3"
}

# shown KEY NAME ENTRY: when the window whose entry starts with ENTRY
# ("Installation [#32770] {") was first listed by the helper NAME (@KEY.up), when
# first no longer after that (@KEY.down); OUT[KEY] how many separate times it was listed.
shown() {
  local up down n
  IFS=: read -r up down n < <(zw_log_lines "$2" windows | awk -F'\t' -v w="$3" '
    { listed = index(" ; " $5 " ; ", " ; " w) > 0 }
    listed && !was { n++; if (!up) up = $1 }
    !listed && was && !down { down = $1 }
    { was = listed }
    END { printf "%s:%s:%d\n", up ? up : "", down ? down : "", n }')
  MARK[$1.up]=$up MARK[$1.down]=$down OUT[$1]=$n
}

# gap FROM TO LO HI: TO - FROM in ms is in [LO, HI].
gap() {
  local from to got=
  from=$(e2e_point "$1")
  to=$(e2e_point "$2")
  [ -n "$from" ] && [ -n "$to" ] && got=$((to - from))
  zw_expect_between "$(e2e_what gap "$1" "$2" ms)" "$got" "$3" "$4"
}

# same A B: the two files are equal; absent A: no such file.
same() { zw_expect "$(e2e_what same "$@")" cmp -s "$(e2e_path "$1")" "$(e2e_path "$2")"; }
absent() { zw_expect "$(e2e_what absent "$@")" test ! -e "$(e2e_path "$1")"; }

# rc KEY N: the probe's exit code; out KEY ERE: its output matches;
# out_count KEY ERE N: N lines of it match.
rc() { zw_expect_eq "$(e2e_what rc "$1")" "${RC[$1]:-}" "$2"; }
out() { zw_expect_match "$(e2e_what out "$1" "$2")" "${OUT[$1]:-}" "$2"; }
out_count() { zw_expect_eq "$(e2e_what out_count "$1" "$2")" "$(grep -Ec -- "$2" <<<"${OUT[$1]:-}")" "$3"; }

# traced / untraced KIND ERE: the trace of the run (TRACE=process before
# start) has a line matching ERE, or none.
traced() { zw_expect_match "$(e2e_what traced "$@")" "$(host_traced "$1")" "$2"; }
untraced() { zw_expect_no_match "$(e2e_what untraced "$@")" "$(host_traced "$1")" "$2"; }

# wine_only VERB ARGS...: an expectation only Wine can show (its traces, its
# X windows, its service stand-ins), as conformance tests mark what a platform
# cannot show; another host skips it and says so.
wine_only() {
  if [ "${HOST_NAME:-}" = wine ]; then "$@"; else zw_note "$(e2e_what "wine only, skipped on $HOST_NAME: $*")"; fi
}

# eq DESCRIPTION GOT WANT: a value the case works out itself.
eq() { zw_expect_eq "$(e2e_what "$1")" "$2" "$3"; }

# check DESCRIPTION COMMAND...: anything else; the command must succeed.
check() { zw_expect "$(e2e_what "$1")" "${@:2}"; }

# by_arch WIN64 WIN32: the value for this pass (e.g. a slack for emulated starts).
by_arch() { if [ "$ARCH" = win64 ]; then echo "$1"; else echo "$2"; fi; }

# native KEY CMD...: a program of the machine the driver runs on (no Windows
# program), run now from /, filling OUT, RC and MARK as probe does.
native() {
  local key=$1
  shift
  RC[$key]=$(cd / && "$@" >"$ZW_WORK/probe.$key" 2>"$ZW_WORK/probe.$key.err"; echo $?)
  OUT[$key]=$(tr -d '\r' <"$ZW_WORK/probe.$key")
  MARK[$key]=$(zw_now_ms)
}

# alike A B: two probes ended with the same exit code and printed the same lines.
alike() {
  eq "alike $1 $2: exit code" "${RC[$2]:-}" "${RC[$1]:-}"
  if [ "${OUT[$1]}" = "${OUT[$2]}" ]; then
    zw_ok "$(e2e_what alike "$1" "$2": the same output, "$(grep -c . <<<"${OUT[$1]}")" lines)"
  else
    zw_fail "$(e2e_what alike "$1" "$2": the outputs differ, "< $1 > $2":)"
    diff <(echo "${OUT[$1]}") <(echo "${OUT[$2]}") | head -40 | sed 's/^/    /'
  fi
}

# out_has KEY TEXT: TEXT (one or more whole lines) stands in the probe's output as it is;
# noout KEY ERE: no line of it matches.
out_has() {
  local LC_ALL=C what="out_has $1 ${2%%$'\n'*}"
  [[ $2 == *$'\n'* ]] && what+=" ... ($(grep -c '' <<<"$2") lines)"
  if [[ $'\n'${OUT[$1]:-}$'\n' == *$'\n'"$2"$'\n'* ]]; then zw_ok "$(e2e_what "$what")"; else
    zw_fail "$(e2e_what "$what"): not in the output:"
    printf '%s\n' "${OUT[$1]:-}" | sed 's/^/    /'
  fi
}
noout() { zw_expect_no_match "$(e2e_what noout "$1" "$2")" "${OUT[$1]:-}" "$2"; }

# values KEY DESCRIPTION LINE...: one check for a group of the probe's
# "NAME=VALUE" lines; each LINE (an argument may hold several) is NAME=VALUE
# (the first such line of the output is exactly that) or ~NAME=ERE (its whole
# value matches); every mismatch is listed.
values() {
  local key=$1 what=$2 line name want got bad=()
  while IFS= read -r line; do
    [ -n "$line" ] || continue
    name=${line#\~} want=${line#*=}
    name=${name%%=*}
    got=$(awk -v k="$name=" 'index($0, k) == 1 { print substr($0, length(k) + 1); f = 1; exit } END { if (!f) print "<missing>" }' <<<"${OUT[$key]:-}")
    if [ "${line:0:1}" = "~" ]; then
      grep -Eqx -- "$want" <<<"$got" || bad+=("$name: '$got' does not match /$want/")
    else
      [ "$got" = "$want" ] || bad+=("$name: '$got', expected '$want'")
    fi
  done < <(printf '%s\n' "${@:3}")
  if [ ${#bad[@]} = 0 ]; then zw_ok "$(e2e_what "$what")"; else
    zw_fail "$(e2e_what "$what"):"
    printf '    %s\n' "${bad[@]}"
  fi
}

# ---- verbs added for converted scenarios
# from DIR VERB ARGS...: the verb (a probe) with DIR as the working directory.
from() {
  local back=$PWD
  cd "$(e2e_path "$1")" || return 1
  shift
  "$@"
  cd "$back" || return 1
}

# at_end FUNCTION: FUNCTION runs when the pass's group ends, however it ends
# (a cleanup of the shared system that must run also after a failure).
at_end() { zw_at_exit "$1"; }

# prefix_copy: the rest of the pass runs on a throw-away copy of its system
# (host_prefix_copy), for rows that change it for good, in a fresh scratch folder.
prefix_copy() {
  rm -rf "$ZW_SCRATCH"
  host_prefix_copy
  zw_scratch "$ZW_SCENARIO" >/dev/null
  APP=$ZW_DIR/app WIN=$HOST_C/windows
  zw_install_launcher "$APP"
}

# ---------------------------------------------------------------- passes

# e2e_pass PASS: the case once, in a fresh scratch folder of that prefix.
e2e_pass() {
  ARCH=${1%%=*}
  EXE=${1#*=}
  if [ "$EXE" = "$1" ]; then EXE=zarnowel.exe; [ "$ARCH" = win64 ] && EXE=zarnowel64.exe; fi
  host_prefix "$ARCH"
  zw_scratch "$ZW_SCENARIO" >/dev/null
  APP=$ZW_DIR/app
  WAPP=$(host_winpath "$APP")
  WDIR=$ZW_WDIR
  WIN=$HOST_C/windows
  zw_install_launcher "$APP"
  local t0 f
  t0=$(zw_now_ms)
  # shellcheck source=/dev/null
  source "$CASE_FILE"
  zw_note "$ARCH: pass took $(($(zw_now_ms) - t0)) ms"
  host_watch_end
  host_reset
  for f in "${PASS_WINDOWS_FILES[@]}"; do rm -f "$HOST_C/$f"; done
  PASS_WINDOWS_FILES=()
}

# e2e_group ARCH: the passes of one prefix, one after another, in a subshell
# of their own (work folder, locks, display), its outcome in $RESULTS/ARCH.
# Each prefix is a system of its own (its own one-run lock), so the groups of
# two prefixes run side by side.
e2e_group() {
  ZW_WORK=$ZW_WORK/$1 ZW_LOCKS=() ZW_XVFB_PID=
  mkdir -p "$ZW_WORK"
  trap 'rc=$?; echo "$rc $ZW_PASSES $ZW_FAILS" >"$RESULTS/'"$1"'"; [ "$ZW_FAILS" = 0 ] || [ -z "${ZW_LOG_FILE:-}" ] || zw_log_show; (exit $rc); zw_cleanup' EXIT
  [ ${#GROUPS_OF[@]} -gt 1 ] && declare -F host_apart >/dev/null && host_apart
  local pass
  for pass in "${PASSES[@]}"; do
    [ "${pass%%=*}" = "$1" ] || continue
    # The group's last scratch folder goes with zw_cleanup, an earlier one here.
    [ -n "$ZW_SCRATCH" ] && [ "$ZW_FAILS" = 0 ] && [ "${ZW_KEEP:-0}" != 1 ] && rm -rf "$ZW_SCRATCH"
    e2e_pass "$pass"
  done
}

[ "${BASH_SOURCE[0]}" = "$0" ] || return 0
# The launcher's timers and exit-code meanings as its source sets them
# (ZW_TICK_MS, ZW_GRACE_MS, ZW_VALUE_LIMIT, ZW_MEANING[code]; tools/facts).
ZW_FACTS=${ZW_FACTS:-$E2E_DIR/../../../build/host/generated/facts.sh}
# shellcheck source=/dev/null
source "$ZW_FACTS" || { echo "no $ZW_FACTS: build the host preset" >&2; exit 2; }
host_require
read -ra PASSES < <(sed -n 's/^prefixes[[:space:]]\+//p' "$CASE_FILE" | head -n1)
[ ${#PASSES[@]} = 0 ] && PASSES=(win64)
# ZW_PREFIXES="win64" leaves the other passes out (e.g. while developing).
if [ -n "${ZW_PREFIXES:-}" ]; then
  for i in "${!PASSES[@]}"; do [[ " $ZW_PREFIXES " == *" ${PASSES[$i]%%=*} "* ]] || unset "PASSES[$i]"; done
  PASSES=("${PASSES[@]}")
  [ ${#PASSES[@]} = 0 ] && zw_skip "no pass of this case in ZW_PREFIXES=$ZW_PREFIXES"
fi
read -ra GROUPS_OF < <(printf '%s\n' "${PASSES[@]%%=*}" | awk '!seen[$0]++' | tr '\n' ' ')
RESULTS=$ZW_WORK/results
mkdir -p "$RESULTS"
# ZW_E2E_SERIAL=1: the prefixes one after another.
for arch in "${GROUPS_OF[@]}"; do
  (e2e_group "$arch") &
  [ "${ZW_E2E_SERIAL:-0}" = 1 ] && wait $!
done
wait
skipped=
for arch in "${GROUPS_OF[@]}"; do
  read -r rc passes fails 2>/dev/null <"$RESULTS/$arch" || rc=missing passes=0 fails=0
  ZW_PASSES=$((ZW_PASSES + passes)) ZW_FAILS=$((ZW_FAILS + fails))
  if [ "$rc" = 77 ]; then
    skipped+=" $arch"
  elif [ "$rc" != 0 ] && [ "$fails" = 0 ]; then
    zw_fail "the $arch passes ended with status $rc"
  fi
done
[ "$ZW_FAILS" = 0 ] && [ -n "$skipped" ] && zw_skip "skipped in$skipped"
zw_finish
