#!/bin/bash
# A relative kind '1' item in a subfolder is started in that folder (its
# working directory as the helper sees it), and the folder stays the current
# directory: a later kind '2' file that lies beside the list is then not found
# and skipped without a message, while one that lies in the subfolder is
# copied and run. A later relative kind '1' item moves the directory again,
# counted from the list's folder. Both prefixes.
source "$(dirname "$0")/../lib.sh"
zw_require_wine

# run_subdir ARCH EXE
run_subdir() {
  local arch=$1 exe=$2 win
  zw_prefix "$arch"
  win="$WINEPREFIX/drive_c/windows"
  zw_scratch sequencer_subdir >/dev/null
  local app="$ZW_DIR/app" wapp
  wapp=$(zw_winpath "$app")
  zw_install_launcher "$app"
  zw_helper "$app/sub" inner.exe 500
  zw_helper "$app" zwbeside.exe 500
  zw_helper "$app/sub" subonly.exe 500
  zw_helper "$app" after.exe 500
  zw_windows_file zwbeside.exe
  zw_windows_file subonly.exe
  zw_ini "$app" <<'EOF'
[SetupList]
Setup1=1,sub\inner.exe, ,
Setup2=2,zwbeside.exe, ,
Setup3=2,subonly.exe, ,
Setup4=1,after.exe, ,
EOF

  # A message box for the skipped item would hold the run until the time-out.
  ZW_EXE=$exe ZW_TIMEOUT=120 zw_run_launcher "$app"
  zw_note "$arch: $exe ran $((ZW_END_MS - ZW_START_MS)) ms"
  zw_expect_eq "$arch: exit code" "$ZW_RC" 0

  zw_expect_eq "$arch: subfolder item started once" "$(zw_log_count inner started)" 1
  zw_expect_eq "$arch: subfolder item's module" "$(zw_log_text inner module)" "$wapp\\sub\\inner.exe"
  zw_expect_eq "$arch: subfolder item started in its folder" "$(zw_log_text inner cwd)" "$wapp\\sub"

  zw_expect_eq "$arch: kind '2' file beside the list not started" "$(zw_log_count zwbeside started)" 0
  zw_expect "$arch: ... and not copied into C:\\windows" test ! -e "$win/zwbeside.exe"

  zw_expect_eq "$arch: kind '2' file of the subfolder started once" "$(zw_log_count subonly started)" 1
  zw_expect_eq "$arch: ... from its copy in C:\\windows" "$(zw_log_text subonly module)" 'C:\windows\subonly.exe'
  zw_expect "$arch: ... copied from the subfolder" cmp -s "$app/sub/subonly.exe" "$win/subonly.exe"
  zw_expect_eq "$arch: ... in the subfolder, still the current directory" "$(zw_log_text subonly cwd)" "$wapp\\sub"
  # The skipped item costs one timer period on top of the grace poll.
  zw_expect_between "$arch: the skipped item passed after the grace poll (ms from inner.exe's end)" \
    "$(($(zw_log_ms subonly started) - $(zw_log_ms inner ended)))" 6500 30000

  zw_expect_eq "$arch: the last item started once" "$(zw_log_count after started)" 1
  zw_expect_eq "$arch: a relative item counts from the list's folder again" "$(zw_log_text after cwd)" "$wapp"
  zw_wine_reset
  rm -f "$win/zwbeside.exe" "$win/subonly.exe"
}

run_subdir win64 zarnowel64.exe
run_subdir win32 zarnowel.exe
zw_finish
