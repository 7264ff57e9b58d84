#!/bin/bash
# Kind '2' items, in both prefixes: the file beside the list is copied into
# C:\windows, over an older file of the same name that is already there, and
# the copy is what runs (the helper's module path is C:\windows\...). A
# direct start (parameters " ") and a supervised one (other parameters, run
# under the dialog with its parameters) alike.
#
# 64-bit prefix: zarnowel64.exe started directly; 32-bit prefix: zarnowel.exe.
source "$(dirname "$0")/../lib.sh"
zw_require_wine

# run_copy ARCH EXE
run_copy() {
  local arch=$1 exe=$2 win
  zw_prefix "$arch"
  win="$WINEPREFIX/drive_c/windows"
  zw_scratch sequencer_copy >/dev/null
  local app="$ZW_DIR/app" wapp
  wapp=$(zw_winpath "$app")
  zw_install_launcher "$app"
  zw_helper "$app" zwtool.exe 500
  zw_helper "$app" zwtool2.exe 500
  zw_windows_file zwtool.exe
  zw_windows_file zwtool2.exe
  # An older, different file of the same name: the copy must replace it.
  printf 'older zwtool.exe, not a program\r\n' >"$win/zwtool.exe"
  touch -d '2001-02-03 04:05:06' "$win/zwtool.exe"
  zw_ini "$app" <<'EOF'
[SetupList]
Setup1=2,zwtool.exe, ,
Setup2=2,zwtool2.exe,/quiet /norestart
EOF

  ZW_EXE=$exe zw_run_launcher "$app"
  zw_note "$arch: $exe ran $((ZW_END_MS - ZW_START_MS)) ms"
  zw_expect_eq "$arch: exit code" "$ZW_RC" 0

  zw_expect "$arch: the older file in C:\\windows was overwritten by the one beside the list" \
    cmp -s "$app/zwtool.exe" "$win/zwtool.exe"
  zw_expect "$arch: the file beside the list is still there (copied, not moved)" \
    cmp -s "$ZW_PROGS/helper.exe" "$app/zwtool.exe"
  zw_expect_eq "$arch: direct copy started once" "$(zw_log_count zwtool started)" 1
  zw_expect_eq "$arch: direct copy runs from C:\\windows" "$(zw_log_text zwtool module)" 'C:\windows\zwtool.exe'
  zw_expect_match "$arch: direct copy started by the launcher" "$(zw_log_text zwtool started)" " parent=$exe\$"
  zw_expect_eq "$arch: direct copy got no parameters" "$(zw_log_text zwtool tail)" "[]"
  # The launcher's current directory is the list's folder; the copy inherits it.
  zw_expect_eq "$arch: direct copy's working directory" "$(zw_log_text zwtool cwd)" "$wapp"

  zw_expect "$arch: supervised copy is in C:\\windows" cmp -s "$app/zwtool2.exe" "$win/zwtool2.exe"
  zw_expect_eq "$arch: supervised copy started once" "$(zw_log_count zwtool2 started)" 1
  zw_expect_eq "$arch: supervised copy runs from C:\\windows" "$(zw_log_text zwtool2 module)" 'C:\windows\zwtool2.exe'
  zw_expect_eq "$arch: supervised copy got its parameters" "$(zw_log_text zwtool2 tail)" "[/quiet /norestart]"
  zw_expect_match "$arch: supervised copy ran under the dialog" "$(zw_log_text zwtool2 windows -1)" \
    '(^| ; )Installation \[#32770\] \{'
  zw_expect_between "$arch: supervised copy after the direct one and its grace poll (ms)" \
    "$(($(zw_log_ms zwtool2 started) - $(zw_log_ms zwtool ended)))" 6000 30000
  zw_wine_reset
  # The rig removes C:\windows files of the last prefix only.
  rm -f "$win/zwtool.exe" "$win/zwtool2.exe"
}

run_copy win64 zarnowel64.exe
run_copy win32 zarnowel.exe
zw_finish
