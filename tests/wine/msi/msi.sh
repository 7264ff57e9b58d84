# Shared part of the Windows Installer scenarios (scenarios/msi_*.sh): the
# package built with wixl, its removal, and a watch on the msiexec.exe
# processes as the launcher's own snapshots see them. Sourced after lib.sh.
# shellcheck shell=bash

ZW_MSI_SRC="$ZW_LIB_DIR/msi"
ZW_MSI_PRODUCT='{6B1E6E5C-5A0E-4C3B-9E2D-2A7F0C1D4E01}'

zw_msi_require() {
  command -v wixl >/dev/null 2>&1 || zw_skip "wixl is not installed (Debian package wixl)"
  [ -f "$ZW_PROGS/procprobe.exe" ] || zw_skip "procprobe.exe not built in $ZW_PROGS"
}

# zw_msi_build DIR [SLOW_EXE [reboot]]: DIR/zwpackage.msi, a 64-bit package
# (the prefix is win64: its file goes to "C:\Program Files"). With SLOW_EXE
# (a Unix path) the installation runs that program from a custom action and
# lasts until it has ended; with "reboot" it asks for a restart (msiexec ends
# with 3010). wixl takes File/@Source relative to its working directory, so
# it runs in the source folder.
zw_msi_build() {
  local out=$1/zwpackage.msi defines=()
  [ -n "${2:-}" ] && defines+=(-D "SlowExe=$(zw_winpath "$2")")
  [ "${3:-}" = reboot ] && defines+=(-D Reboot=1)
  if ! (cd "$ZW_MSI_SRC" && wixl -a x64 "${defines[@]}" -o "$out" zwpackage.wxs) >"$ZW_WORK/wixl.log" 2>&1; then
    cat "$ZW_WORK/wixl.log"
    zw_fail "wixl could not build the package"
    return 1
  fi
  ZW_MSI_INSTALLED="$WINEPREFIX/drive_c/Program Files/ZarnowelTest/zwpayload.txt"
}

# zw_msi_remove: the product is not installed afterwards (the prefix is shared
# by every scenario and run).
zw_msi_remove() {
  /usr/lib/wine/wine64 msiexec /x "$ZW_MSI_PRODUCT" /qn >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  rm -rf "$WINEPREFIX/drive_c/Program Files/ZarnowelTest"
}

# zw_msi_service_stand_in, then zw_msi_service_start: the Windows Installer
# service (msiserver) runs, as a stand-in named msiexec.exe (procprobe
# --service), until the prefix is reset or zw_msi_service_undo;
# ZW_MSI_SERVICE_PID is its pid. Wine's own service ends as soon as it has
# started, so the service's image path is pointed at the stand-in (and the
# prefix reset for the service manager to read it), and set back by
# zw_msi_service_undo, at the latest when the scenario exits. Between the two
# halves some other process must be started (zw_msi_watch): once no process
# but the system's runs, Wine shuts down the services.
ZW_MSI_SERVICE_KEY='HKLM\System\CurrentControlSet\Services\MSIServer'
ZW_MSI_SERVICE_IMAGE=''
ZW_MSI_SERVICE_TYPE=''
zw_msi_service_stand_in() {
  local svc="$ZW_DIR/svc" line
  mkdir -p "$svc"
  cp "$ZW_PROGS/procprobe.exe" "$svc/msiexec.exe"
  line=$(/usr/lib/wine/wine64 reg query "$ZW_MSI_SERVICE_KEY" /v ImagePath 2>/dev/null | tr -d '\r' | grep ' ImagePath ')
  ZW_MSI_SERVICE_TYPE=$(sed -n 's/^ *ImagePath *\(REG_[A-Z_]*\) .*/\1/p' <<<"$line")
  ZW_MSI_SERVICE_IMAGE=$(sed -n 's/^ *ImagePath *REG_[A-Z_]* *//p' <<<"$line")
  if [ -z "$ZW_MSI_SERVICE_IMAGE" ]; then
    zw_fail "the msiserver service has no image path in this prefix"
    return 1
  fi
  zw_at_exit zw_msi_service_undo
  /usr/lib/wine/wine64 reg add "$ZW_MSI_SERVICE_KEY" /v ImagePath /t "$ZW_MSI_SERVICE_TYPE" /f \
    /d "\"$(zw_winpath "$svc/msiexec.exe")\" --service msiserver --log $ZW_LOG" >/dev/null 2>&1
  zw_wine_reset
}

zw_msi_service_start() {
  local before
  before=$(zw_log_count procprobe service-running)
  /usr/lib/wine/wine64 net start msiserver >/dev/null 2>&1
  zw_wait_log procprobe service-running $((before + 1)) 60 || return 1
  ZW_MSI_SERVICE_PID=$(zw_log_text procprobe service-running -1 | sed 's/^pid=//')
}

zw_msi_service_undo() {
  [ -n "$ZW_MSI_SERVICE_IMAGE" ] || return 0
  /usr/lib/wine/wine64 net stop msiserver >/dev/null 2>&1
  /usr/lib/wine/wine64 reg add "$ZW_MSI_SERVICE_KEY" /v ImagePath /t "$ZW_MSI_SERVICE_TYPE" /f \
    /d "$ZW_MSI_SERVICE_IMAGE" >/dev/null 2>&1
  ZW_MSI_SERVICE_IMAGE=
}

# zw_msi_watch [TITLE]: procprobe logs every msiexec.exe process appearing and
# going (and the window TITLE shown and gone) until zw_msi_watch_stop.
zw_msi_watch() { zw_watch_start msiexec.exe "${1:-}"; }

zw_msi_watch_stop() { zw_watch_end; }

# zw_msi_events EVENT: "ms pid" of each such procprobe line, in log order.
zw_msi_events() {
  zw_log_lines procprobe "$1" | awk -F'\t' '{ split($5, a, " "); sub("pid=", "", a[1]); print $1, a[1] }'
}

# zw_msi_time EVENT PID: when procprobe logged EVENT for that pid.
zw_msi_time() {
  zw_msi_events "$1" | awk -v p="$2" '$2 == p { print $1; exit }'
}

# zw_msi_run_one APP [QUESTION [MSIEXEC_EXIT]]: the package not installed,
# the launcher of APP run under a watch (with the "Installation" window), its
# exit code 0, the package's file installed and one msiexec.exe seen that
# ended with exit code MSIEXEC_EXIT (default 0). Sets ZW_MSI_PID and when it
# was seen (ZW_MSI_APPEARED) and gone (ZW_MSI_GONE). With QUESTION (a
# caption), that question must come while the launcher runs; it is answered
# No and ZW_MSI_ASKED says when it was found.
zw_msi_run_one() {
  local app=$1 question=${2:-} code=${3:-0} seen
  zw_msi_remove
  zw_expect "the package is not installed before the run" test ! -e "$ZW_MSI_INSTALLED"
  zw_msi_watch Installation
  ZW_EXE=zarnowel64.exe zw_start_launcher "$app"
  if [ -n "$question" ]; then
    zw_run_prog answer --caption "$question" --press no --timeout 150000 >/dev/null 2>&1
    zw_expect_eq "the question '$question' came and was answered No" "$?" 0
    ZW_MSI_ASKED=$(zw_log_ms answer found)
  fi
  zw_wait_launcher
  zw_msi_watch_stop
  zw_expect_eq "exit code" "$ZW_RC" 0
  zw_expect "the package's file is installed in Program Files" cmp -s "$ZW_MSI_INSTALLED" "$ZW_MSI_SRC/zwpayload.txt"
  seen=$(zw_msi_events seen)
  zw_expect_eq "one msiexec.exe process ran" "$(grep -c . <<<"$seen")" 1
  ZW_MSI_PID=$(awk 'NR == 1 { print $2 }' <<<"$seen")
  ZW_MSI_APPEARED=$(zw_msi_time seen "$ZW_MSI_PID")
  ZW_MSI_GONE=$(zw_msi_time gone "$ZW_MSI_PID")
  zw_expect "msiexec ended during the run" test -n "$ZW_MSI_GONE"
  zw_expect_match "msiexec ended with exit code $code" \
    "$(zw_log_lines procprobe gone | cut -f5 | grep "^pid=$ZW_MSI_PID ")" " exit=$code\$"
}

# zw_msi_slow_checks MS: the package's custom action ran slow.exe (a helper
# running MS) once, as a child of the package's msiexec, and the installation
# lasted at least that long.
zw_msi_slow_checks() {
  local ms=$1
  zw_expect_eq "the custom action ran slow.exe once" "$(zw_log_count slow ended)" 1
  zw_expect_match "slow.exe was started by the package's msiexec" "$(zw_log_text slow started)" \
    " ppid=$ZW_MSI_PID parent=msiexec.exe\$"
  zw_expect_between "msiexec ran at least as long as slow.exe (ms)" "$((ZW_MSI_GONE - ZW_MSI_APPEARED))" "$ms" $((ms + 20000))
  zw_expect_between "msiexec ended after slow.exe (ms)" "$((ZW_MSI_GONE - $(zw_log_ms slow ended)))" 0 10000
}
