# How a Windows program runs here: under Wine, in a cached prefix (64-bit, or
# 32-bit with every process emulated by qemu where the kernel runs no i386
# code), on Xvfb when no display works. The driver (run.sh) and the cases call
# only the host_* functions below; another file with the same functions runs
# the same cases elsewhere (tests/README.md says how on Windows itself).
# shellcheck shell=bash

source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
HOST_NAME=wine

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
  timeout -k 5 "$s" "$(zw_loader "$1")" "$@"
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
