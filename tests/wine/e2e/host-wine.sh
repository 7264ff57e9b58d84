# How a Windows program runs here: under Wine, in a cached prefix (64-bit, or
# 32-bit with every process emulated by qemu where the kernel runs no i386
# code), on Xvfb when no display works. The driver (run.sh) and the cases call
# only the host_* functions below; another file with the same functions runs
# the same cases elsewhere (tests/README.md says how on Windows itself).
# shellcheck shell=bash

# Environment: ZW_WINE_CACHE, where the prefixes are kept (default
# ~/.cache/zarnowel-wine); CTEST_RESOURCE_GROUP_0_WINE, the Wine slot CTest
# gave the test ("id:N,..."): slot N>0 keeps its prefixes in ZW_WINE_CACHE-N
# (tests/wine/slots.json).
HOST_NAME=wine
WINEDEBUG=${WINEDEBUG:--all}
export WINEDEBUG

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
  (cd "$cwd" && zw_once_more timeout -k 5 "${ZW_TIMEOUT:-120}" "${run[@]}" "$@") >"$ZW_OUT" 2>"$ZW_ERR" &
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
# ---------------------------------------------------------------- the host functions

# host_require: skips (77) unless Windows programs can run here.
host_require() { zw_require_wine; }

# host_prefix ARCH: the system that the next pass runs on (win64 or win32);
# HOST_C is the Unix path of its C:\ drive.
host_prefix() {
  zw_prefix "$1"
  HOST_C=$WINEPREFIX/drive_c
}

# host_apart: this prefix's passes run beside another prefix's; an X display
# of their own keeps the windows of the two apart (the caption looked up by
# host_unowned, the focus).
host_apart() { command -v Xvfb >/dev/null && unset DISPLAY; }

# host_winpath UNIX: the same path as Windows spells it.
host_winpath() { zw_winpath "$1"; }

# host_reset: every Windows process started since is ended.
host_reset() { zw_wine_reset; }
# host_drive LETTER DIR: DIR (a Unix path) is also the drive LETTER: until the
# pass ends (Wine's drive table; Windows would take DefineDosDevice).
host_drive() {
  drive_file "../dosdevices/${1,,}:"
  ln -s "$2" "$HOST_C/../dosdevices/${1,,}:"
}
# host_quiet SECONDS: waits until every Windows process has ended by itself.
host_quiet() { timeout "$1" wineserver -w; }

# host_locale eng|kor: the system locale of every program started after it;
# status 1 when the system has no such locale.
HOST_BASE_LANG=${LANG:-C.UTF-8}
HOST_BASE_LC_ALL=${LC_ALL:-}
host_locale() {
  if [ "$1" = kor ]; then
    (zw_require_locale ko_KR.UTF-8) >/dev/null 2>&1 || return 1
    zw_korean
  else
    export LANG=$HOST_BASE_LANG
    if [ -n "$HOST_BASE_LC_ALL" ]; then export LC_ALL=$HOST_BASE_LC_ALL; else unset LC_ALL; fi
  fi
  zw_wine_reset
}

# host_native_first DLL...: Wine maps its builtin DLL of a name even where a
# file of that name lies in the search path; asked for native first, it
# searches as Windows does (a placeholder of its own in System32 still gives
# the builtin).
host_native_first() {
  local IFS=,
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}$*=n,b"
}

# host_cmdline NAME LINE: the Windows command line LINE run by cmd from C:\ (zw_cmdline).
host_cmdline() { zw_cmdline "$@"; }

# host_run EXE ARGS...: a Windows program (Unix path) in the foreground.
host_run() { zw_wine "$@"; }

# host_bounded SECONDS EXE ARGS...: a Windows program in the foreground from
# the current directory, ended (124) when it runs longer than SECONDS.
host_bounded() {
  local s=$1
  shift
  zw_once_more timeout -k 5 "$s" "$(zw_loader "$1")" "$@"
}

# zw_once_more COMMAND...: Wine's loader, rarely and more often under load,
# gives up before any Windows code runs: status 1 within moments. Such a start
# is made once more; stderr says so. 1 is none of the launcher's own codes,
# but it passes an item's code on: a case whose item ends with 1 within 5 s
# would see its run made twice, so no case has one.
zw_once_more() {
  local t0 rc
  t0=$(zw_now_ms)
  "$@"
  rc=$?
  [ "$rc" = 1 ] && [ $(($(zw_now_ms) - t0)) -lt 5000 ] || return $rc
  echo "zw: retried after the loader failed (status 1 in $(($(zw_now_ms) - t0)) ms)" >&2
  "$@"
}

# host_start_launcher DIR ARGS... / host_wait_launcher: the launcher DIR/$ZW_EXE
# in the background (ZW_RC, ZW_START_MS, ZW_END_MS, ZW_OUT, ZW_ERR).
# With TRACE=process the run is traced (host_traced).
host_start_launcher() {
  if [ -n "${TRACE:-}" ]; then WINEDEBUG=+$TRACE zw_start_launcher "$@"; else zw_start_launcher "$@"; fi
}
host_wait_launcher() { zw_wait_launcher; }

# host_watch_start IMAGE,... [TITLE] / host_watch_settle / host_watch_end: the
# process watch (procprobe, see run.sh's watch) started, waited on until what
# it saw has ended, stopped.
host_watch_start() { zw_watch_start "$@"; }
host_watch_settle() { zw_watch_settle; }
host_watch_end() { zw_watch_end; }

# host_traced process: every process the last run created, one a line.
host_traced() { grep -a 'NtCreateUserProcess' "$ZW_ERR"; }

# host_unowned CAPTION: the top-level window of that caption has no owner
# window. Wine marks the X window of an owned one transient for its owner's
# (no window manager runs: Wine's windows are children of the root).
host_unowned() {
  local id
  for id in $(xwininfo -root -children 2>/dev/null | awk '$1 ~ /^0x/ {print $1}'); do
    if xprop -id "$id" _NET_WM_NAME 2>/dev/null | grep -qF "= \"$1\""; then
      xprop -id "$id" WM_TRANSIENT_FOR 2>/dev/null | grep -Eq '^WM_TRANSIENT_FOR: +not found'
      return
    fi
  done
  return 1
}

# host_prefix_copy: the rest of the pass runs on a copy of its prefix (whose
# lock stays held), removed with the work folder: a restart or the like may
# change it for good.
host_prefix_copy() {
  local copy="$ZW_WORK/prefix-$ZW_ARCH" t0
  t0=$(zw_now_ms)
  zw_wine_reset
  cp -a --reflink=auto "$WINEPREFIX" "$copy" || zw_skip "could not copy the $ZW_ARCH prefix into $copy"
  export WINEPREFIX=$copy
  HOST_C=$copy/drive_c
  zw_note "$ZW_ARCH: throw-away copy of the prefix made in $(($(zw_now_ms) - t0)) ms"
}
