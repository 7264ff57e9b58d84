# How a Windows program runs on Windows itself (10/11, 64-bit, Git for
# Windows' bash, an elevated shell): the same host_* functions as
# host-wine.sh, so the same cases run unchanged (tests/README.md says how).
# UNTRIED: written from the Wine host and the documentation of cmd, taskkill,
# timeout and cygpath; nobody has run it on Windows yet. Expectations that only
# Wine can show are marked wine_only in the cases and skipped here.
# shellcheck shell=bash

HOST_NAME=windows

# host_require: skips (77) unless this is Windows (Git for Windows' bash).
host_require() {
  case $(uname -s) in MINGW* | MSYS*) ;; *) zw_skip "not Windows: $(uname -s)" ;; esac
}

# host_prefix ARCH: win64 is the system itself; win32 is not a system of its
# own here (a 64-bit Windows runs zarnowel.exe under WOW64, which is the win64
# pass with `prefixes win64=zarnowel.exe`), so its passes are skipped.
host_prefix() {
  [ "$1" = win64 ] || zw_skip "no 32-bit Windows here: the win64 pass runs zarnowel.exe under WOW64"
  HOST_C=/c
  ZW_ARCH=win64
  ZW_PROGS=$ZW_WIN64_DIR/tests/wine/progs
  [ "${ZW_PROGS_ARCH:-win64}" = win32 ] && ZW_PROGS=$ZW_WIN32_DIR/tests/wine/progs
  [ -f "$ZW_PROGS/helper.exe" ] || zw_skip "test programs not found in $ZW_PROGS"
}

host_winpath() { cygpath -w "$1"; }

# host_prefix_copy: no throw-away copy of a running Windows can be made here;
# the pass, which would change the system for good (a restart), is skipped.
host_prefix_copy() { zw_skip "no throw-away copy of this Windows: the pass would restart the machine"; }

# host_reset: every helper copy of this pass ended (by image name: the
# scratch folder's programs), the launchers and the watch too.
host_reset() {
  local name
  for name in zarnowel.exe zarnowel64.exe procprobe.exe $(find "${ZW_DIR:-/nonexistent}" -name '*.exe' -printf '%f\n' 2>/dev/null | sort -u); do
    taskkill //F //IM "$name" >/dev/null 2>&1
  done
  return 0
}

# host_quiet SECONDS: waits until no program of the scratch folder runs.
host_quiet() {
  local end=$(($(zw_now_ms) + $1 * 1000)) name busy=1
  while [ "$busy" = 1 ] && [ "$(zw_now_ms)" -lt "$end" ]; do
    busy=0
    for name in $(find "$ZW_DIR" -name '*.exe' -printf '%f\n' | sort -u); do
      tasklist //FI "IMAGENAME eq $name" //NH | grep -qi "^$name" && busy=1
    done
    [ "$busy" = 0 ] || sleep 0.5
  done
}

# host_locale eng|kor: Windows' system locale is the machine's; kor only where it already is Korean.
host_locale() {
  [ "$1" = eng ] && return 0
  [ "$(powershell -NoProfile -Command '(Get-WinSystemLocale).Name' 2>/dev/null | tr -d '\r')" = ko-KR ]
}

# host_native_first DLL...: Windows searches so already.
host_native_first() { :; }

host_run() { "$@"; }

host_bounded() {
  local s=$1
  shift
  timeout -k 5 "$s" "$@"
}

# host_cmdline NAME LINE: LINE as a line of a batch file NAME.bat run by cmd from C:\.
host_cmdline() {
  local bat="$ZW_WORK/$1.bat"
  printf '@%s\r\n' "$2" >"$bat"
  (cd /c && exec timeout -k 5 "${ZW_TIMEOUT:-120}" cmd //c "$(cygpath -w "$bat")")
}

# host_start_launcher DIR ARGS... / host_wait_launcher: through `cmd /c start
# /wait`, which waits for a GUI program; its status is the launcher's code.
host_start_launcher() {
  local exe="$1/${ZW_EXE:-zarnowel.exe}" cwd=${ZW_CWD:-/c}
  shift
  ZW_OUT="$ZW_WORK/launcher.out" ZW_ERR="$ZW_WORK/launcher.err"
  ZW_START_MS=$(zw_now_ms)
  (cd "$cwd" && exec timeout -k 5 "${ZW_TIMEOUT:-120}" cmd //c start "" //wait "$(cygpath -w "$exe")" "$@") \
    >"$ZW_OUT" 2>"$ZW_ERR" &
  ZW_LAUNCHER_PID=$!
}
host_wait_launcher() {
  wait "$ZW_LAUNCHER_PID"
  ZW_RC=$?
  ZW_END_MS=$(zw_now_ms)
  ZW_LAUNCHER_PID=
  [ "$ZW_RC" = 124 ] && zw_fail "the launcher did not end within ${ZW_TIMEOUT:-120} s"
  return 0
}

host_watch_start() { zw_watch_start "$@"; }
host_watch_settle() { zw_watch_settle; }
host_watch_end() { zw_watch_end; }

# host_traced: Windows keeps no such trace; the checks that read it are wine_only.
host_traced() { :; }
