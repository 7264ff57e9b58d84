# The rig under the e2e driver (through e2e/host-wine.sh) and the scenarios;
# tests/wine/README.md tells how they use it.
#
# Environment (set by CTest; defaults fit a checkout with the standard presets):
#   ZW_SOURCE_DIR   the source tree
#   ZW_WIN32_DIR    build folder of the win32 preset (zarnowel.exe, tests/wine/progs/*.exe)
#   ZW_WIN64_DIR    build folder of the win64 preset (zarnowel64.exe, tests/wine/progs/*.exe)
#   ZW_WINE_CACHE   where the prefixes are kept (default ~/.cache/zarnowel-wine)
#   CTEST_RESOURCE_GROUP_0_WINE  the Wine slot CTest gave this test ("id:N,..."):
#                   slot N>0 keeps its prefixes in ZW_WINE_CACHE-N (tests/wine/slots.json)
#   ZW_KEEP=1       keep the scratch folder even when the scenario passes
# shellcheck shell=bash

set -u

ZW_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
: "${ZW_SOURCE_DIR:=$(cd "$ZW_LIB_DIR/../.." && pwd)}"
: "${ZW_WIN32_DIR:=$ZW_SOURCE_DIR/build/win32}"
: "${ZW_WIN64_DIR:=$ZW_SOURCE_DIR/build/win64}"
export ZW_SOURCE_DIR ZW_WIN32_DIR ZW_WIN64_DIR
ZW_SCENARIO=${ZW_SCENARIO:-$(basename "$0" .sh)}
ZW_FAILS=0
ZW_PASSES=0
ZW_WORK=$(mktemp -d "${TMPDIR:-/tmp}/zw-$ZW_SCENARIO.XXXXXX")
ZW_XVFB_PID=
ZW_WINDOWS_FILES=()
ZW_SCRATCH=
ZW_LAUNCHER_PID=
ZW_WATCH_PID=
ZW_RC=
ZW_AT_EXIT=()
WINEDEBUG=${WINEDEBUG:--all}
export WINEDEBUG

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
  if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX:-}" ]; then
    local undo
    for undo in "${ZW_AT_EXIT[@]}"; do "$undo"; done
    zw_wine_reset # nothing of this scenario may live on into the next one
    local f
    for f in "${ZW_WINDOWS_FILES[@]}"; do rm -f "$WINEPREFIX/drive_c/windows/$f"; done
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

# ---------------------------------------------------------------- Wine, X, prefixes

# Skips (exit 77) unless Wine with its 32-bit half, and X (a usable DISPLAY or
# Xvfb), are there. Where the kernel runs no i386 code the emulator is
# registered first (tests/wine/enable-i386.sh).
zw_require_wine() {
  command -v wine >/dev/null 2>&1 || zw_skip "wine is not installed (scripts/install-deps.sh)"
  command -v wineserver >/dev/null 2>&1 || zw_skip "wineserver is not installed"
  [ -x /usr/lib/wine/wine64 ] || zw_skip "wine64 is not installed"
  local why
  if ! why=$("$ZW_LIB_DIR/enable-i386.sh" 2>&1); then
    zw_skip "32-bit Wine cannot run here: $why"
  fi
  if ! { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }; then
    command -v Xvfb >/dev/null 2>&1 || zw_skip "no usable DISPLAY and Xvfb is not installed"
  fi
}

# zw_require_locale NAME (e.g. ko_KR.UTF-8): Wine takes the system locale from
# the Unix one, and an ungenerated one silently falls back to C (English,
# ASCII). Generated here when missing and we are root, else the scenario skips.
zw_require_locale() {
  local want=$1
  zw_has_locale "$want" || [ "$(id -u)" != 0 ] || ! command -v localedef >/dev/null 2>&1 ||
    localedef -i "${want%%.*}" -f "${want#*.}" "$want" >/dev/null 2>&1
  zw_has_locale "$want" || zw_skip "the locale $want is not available (locale-gen $want)"
}
zw_has_locale() {
  locale -a 2>/dev/null | tr '[:upper:]' '[:lower:]' | grep -qx "$(echo "$1" | tr '[:upper:]' '[:lower:]' | sed 's/utf-8/utf8/')"
}

# zw_korean: from here on, Wine programs see a Korean system (LCID 0x412, code page 949).
zw_korean() {
  zw_require_locale ko_KR.UTF-8
  export LANG=ko_KR.UTF-8 LC_ALL=ko_KR.UTF-8
}

# zw_slot: the Wine slot CTest allotted this test (0 when run by hand). Tests
# in two slots run at once, each in prefixes of its own.
zw_slot() {
  local group=${CTEST_RESOURCE_GROUP_0_WINE:-id:0}
  group=${group#id:}
  echo "${group%%,*}"
}

# Starts Xvfb on a free display unless DISPLAY already works (and no other
# slot's test may be on it); stopped at exit.
zw_xvfb() {
  if [ -n "${CTEST_RESOURCE_GROUP_0_WINE:-}" ] && command -v Xvfb >/dev/null; then unset DISPLAY; fi
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local fifo="$ZW_WORK/xvfb.display" n
  # Started from a subshell, so it is no job of the scenario: a plain `wait`
  # in a scenario must not wait for the X server.
  (Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >"$ZW_WORK/xvfb.log" 2>&1 &
    echo $! >"$ZW_WORK/xvfb.pid")
  ZW_XVFB_PID=$(cat "$ZW_WORK/xvfb.pid")
  zw_until 10 test -s "$fifo"
  n=$(head -n1 "$fifo" 2>/dev/null)
  [ -n "$n" ] || { cat "$ZW_WORK/xvfb.log"; zw_skip "Xvfb did not start"; }
  export DISPLAY=":$n"
  zw_until 5 xdpyinfo >/dev/null 2>&1 || zw_skip "Xvfb display $DISPLAY does not answer"
}

# zw_lock DIR: a lock held by this script until it exits. A directory with the
# owner's pid rather than flock: the fd of a flock would be inherited by
# wineserver and by every Windows process, which may outlive a killed scenario.
ZW_LOCKS=()
zw_lock() {
  local lock=$1 t0 owner
  t0=$(zw_now_ms)
  until mkdir "$lock" 2>/dev/null; do
    owner=$(cat "$lock/pid" 2>/dev/null)
    # Already ours: a later pass of the same case in the same prefix.
    [ "$owner" = $$ ] && return 0
    if [ -n "$owner" ] && ! kill -0 "$owner" 2>/dev/null; then
      rm -rf "$lock" # its owner died without cleaning up
      continue
    fi
    if [ $(($(zw_now_ms) - t0)) -gt 1800000 ]; then zw_skip "$lock held by pid $owner for 30 minutes"; fi
    sleep 0.5
  done
  echo $$ >"$lock/pid"
  ZW_LOCKS+=("$lock")
}

# zw_prefix win64|win32: exports WINEPREFIX and WINEARCH for a cached prefix,
# creating it on first use. The prefix is locked for the whole scenario, so
# two scenarios never share a wineserver.
zw_prefix() {
  local arch=$1
  case $arch in win64 | win32) ;; *) echo "zw_prefix: win64 or win32, not '$arch'"; exit 2 ;; esac
  zw_xvfb
  local cache=${ZW_WINE_CACHE:-$HOME/.cache/zarnowel-wine}
  [ "$(zw_slot)" = 0 ] || cache+=-$(zw_slot)
  mkdir -p "$cache"
  zw_lock "$cache/$arch.lockdir"
  local pfx="$cache/$arch" want
  want="$(wine --version 2>/dev/null) $arch rig-1"
  if [ "$(cat "$pfx/.zw-ready" 2>/dev/null)" != "$want" ]; then
    zw_note "creating the $arch prefix in $pfx (takes a while once)"
    local t0 tmp="$pfx.new"
    t0=$(zw_now_ms)
    rm -rf "$tmp"
    if ! (
      export WINEPREFIX=$tmp WINEARCH=$arch WINEDLLOVERRIDES="mscoree,mshtml="
      wine wineboot --init >"$ZW_WORK/wineboot.log" 2>&1 &&
        wineserver -w &&
        # A crash must end the process with a report on stderr, not wait on a dialog.
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 &&
        wineserver -w
    ) || [ ! -d "$tmp/drive_c/windows" ]; then
      cat "$ZW_WORK/wineboot.log"
      rm -rf "$tmp"
      zw_skip "wineboot could not create the $arch prefix"
    fi
    echo "$want" >"$tmp/.zw-ready"
    rm -rf "$pfx"
    mv "$tmp" "$pfx"
    zw_note "prefix $arch created in $(($(zw_now_ms) - t0)) ms"
  fi
  export WINEPREFIX=$pfx WINEARCH=$arch
  ZW_ARCH=$arch
  # The test programs of the prefix's own width (no emulation in win64).
  ZW_PROGS=$ZW_WIN32_DIR/tests/wine/progs
  [ "${ZW_PROGS_ARCH:-$arch}" = win64 ] && ZW_PROGS=$ZW_WIN64_DIR/tests/wine/progs
  [ -f "$ZW_PROGS/helper.exe" ] || zw_skip "test programs not built in $ZW_PROGS (build the ${ZW_PROGS_ARCH:-$arch} preset)"
  zw_wine_reset
}

# zw_wine_reset: ends every Windows process of the prefix (between two runs).
zw_wine_reset() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  return 0
}

# Unix path -> Windows path, without starting Wine.
zw_winpath() {
  local p c
  p=$(realpath -m "$1")
  c=$(realpath -m "${HOST_C:-$WINEPREFIX/drive_c}")
  if [ "${p#"$c"}" != "$p" ]; then
    p="C:${p#"$c"}"
  else
    p="Z:$p"
  fi
  [ "$p" = "C:" ] && p='C:\'
  echo "${p//\//\\}"
}

# 32 or 64: the width of a PE executable.
zw_pe_bits() {
  local off machine
  off=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j$((off + 4)) -N2 "$1" | tr -d ' ')
  case $machine in 8664) echo 64 ;; 14c) echo 32 ;; *) echo 0 ;; esac
}

# zw_loader EXE: the Wine loader for EXE (a Unix path). A 64-bit program goes
# straight to the 64-bit loader: through the 32-bit one it would take a detour
# via start.exe, about 1.5 s with the 32-bit loader emulated.
zw_loader() {
  if [ "${ZW_ARCH:-}" = win64 ] && [ "$(zw_pe_bits "$1")" = 64 ]; then
    echo /usr/lib/wine/wine64
  else
    echo wine
  fi
}

# zw_wine EXE ARGS...: runs a Windows program in the foreground.
zw_wine() { "$(zw_loader "$1")" "$@"; }

# ---------------------------------------------------------------- scratch, files, programs

# zw_scratch NAME: a fresh folder C:\zwtest\NAME; sets ZW_DIR (Unix) and
# ZW_WDIR (Windows), and exports the helper log ZW_LOG (C:\zwtest\NAME\zwlog.txt,
# Unix path in ZW_LOG_FILE) and the helpers' configuration folder ZW_CONF.
zw_scratch() {
  ZW_DIR="${HOST_C:-$WINEPREFIX/drive_c}/zwtest/$1"
  rm -rf "$ZW_DIR"
  mkdir -p "$ZW_DIR/conf"
  ZW_SCRATCH=$ZW_DIR
  ZW_WDIR=$(zw_winpath "$ZW_DIR")
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

# zw_prog NAME: Unix path of a built test program (helper, answer, winprobe, ...).
zw_prog() { echo "$ZW_PROGS/$1.exe"; }

# zw_run_prog NAME ARGS...: runs a test program in the foreground, output to stdout.
zw_run_prog() { zw_wine "$(zw_prog "$1")" "${@:2}"; }

# ---------------------------------------------------------------- the launcher

# zw_start_launcher DIR ARGS...: starts DIR/zarnowel.exe (or DIR/$ZW_EXE) in the
# background, from the working directory ZW_CWD (default C:\, so never DIR:
# the setup list must be found beside the executable), ended after ZW_TIMEOUT
# seconds (default 120).
zw_start_launcher() {
  local exe="$1/${ZW_EXE:-zarnowel.exe}" cwd=${ZW_CWD:-$WINEPREFIX/drive_c}
  shift
  [ -f "$exe" ] || { zw_fail "no launcher at $exe"; return 1; }
  ZW_OUT="$ZW_WORK/launcher.out"
  ZW_ERR="$ZW_WORK/launcher.err"
  ZW_START_MS=$(zw_now_ms)
  local run=("$(zw_loader "$exe")" "$exe")
  # With ZW_START_OPTS (e.g. "/max") the start goes through start.exe, which
  # passes a show state in the start-up information.
  # shellcheck disable=SC2206
  [ -n "${ZW_START_OPTS:-}" ] && run=(wine start /wait ${ZW_START_OPTS} "$(zw_winpath "$exe")")
  (cd "$cwd" && exec timeout -k 5 "${ZW_TIMEOUT:-120}" "${run[@]}" "$@") >"$ZW_OUT" 2>"$ZW_ERR" &
  ZW_LAUNCHER_PID=$!
}

# zw_wait_launcher: waits for the started launcher; ZW_RC its exit code,
# ZW_END_MS when it ended. A time-out or a Wine crash report counts as failure.
zw_wait_launcher() {
  wait "$ZW_LAUNCHER_PID"
  ZW_RC=$?
  ZW_END_MS=$(zw_now_ms)
  ZW_LAUNCHER_PID=
  if [ "$ZW_RC" = 124 ] || [ "$ZW_RC" = 137 ]; then
    zw_fail "the launcher did not end within ${ZW_TIMEOUT:-120} s"
  fi
  zw_check_crash "$ZW_ERR" launcher
  return 0
}

# zw_cmdline NAME LINE: runs the Windows command line LINE from C:\ as a line of
# a batch file (NAME.bat), so quotes inside an argument (/log:"C:\a b\x.log")
# arrive as written, which Wine's quoting of Unix arguments cannot give. cmd
# waits for a GUI program too; the status is the program's (its low byte), 124
# after ZW_TIMEOUT seconds (120).
zw_cmdline() {
  local bat="$ZW_WORK/$1.bat" loader=wine
  printf '@%s\r\n' "$2" >"$bat"
  # The prefix's own cmd.exe, without the 32-bit loader's detour in win64.
  [ "${ZW_ARCH:-}" = win64 ] && loader=/usr/lib/wine/wine64
  (cd "$WINEPREFIX/drive_c" && exec timeout -k 5 "${ZW_TIMEOUT:-120}" "$loader" cmd /c "$(zw_winpath "$bat")")
}

# zw_check_crash FILE WHAT: fails when FILE holds a Wine crash report.
zw_check_crash() {
  if grep -Eq 'Unhandled exception|Unhandled page fault|page fault on|Backtrace:|to unimplemented function' "$1" 2>/dev/null; then
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
  rm -f "$WINEPREFIX/drive_c/windows/tool.exe"
  (zw_wait_log rtsetup started 1 200 >/dev/null && zw_wine "$dir/rtpost.exe" >/dev/null 2>&1) &
  leftover=$!
  ZW_EXAMPLE_T0=$(zw_now_ms)
  ZW_TIMEOUT=300 zw_start_launcher "$dir" "$@" && zw_wait_launcher
  # zarnowel.exe waits for its sibling; anything else the run left behind
  # ends before the checks.
  timeout 300 wineserver -w
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
