# Shared part of the Windows Installer cases: the package built with wixl, its
# removal, a stand-in service, the msiexec.exe processes watched. Sourced by e2e/run.sh.
# shellcheck shell=bash

ZW_MSI_SRC="$ZW_LIB_DIR/msi"
ZW_MSI_PRODUCT='{6B1E6E5C-5A0E-4C3B-9E2D-2A7F0C1D4E01}'
ZW_MSI_OLDER='{6B1E6E5C-5A0E-4C3B-9E2D-2A7F0C1D4E04}'

zw_msi_require() {
  command -v wixl >/dev/null 2>&1 || zw_skip "wixl is not installed (Debian package wixl)"
  [ -f "$ZW_PROGS/procprobe.exe" ] || zw_skip "procprobe.exe not built in $ZW_PROGS"
}

# zw_msi_build DIR [SLOW_EXE [reboot|older]]: DIR/zwpackage.msi, a 64-bit package
# (zwpackage.wxs says what SLOW_EXE, a Unix path, and "reboot" add). wixl takes
# File/@Source relative to its working directory: it runs in the source folder.
zw_msi_build() {
  local out=$1/zwpackage.msi defines=()
  [ -n "${2:-}" ] && defines+=(-D "SlowExe=$(zw_winpath "$2")")
  [ "${3:-}" = reboot ] && defines+=(-D Reboot=1)
  [ "${3:-}" = older ] && defines+=(-D Older=1)
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
  /usr/lib/wine/wine64 msiexec /x "$ZW_MSI_OLDER" /qn >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  rm -rf "$WINEPREFIX/drive_c/Program Files/ZarnowelTest"
}

# zw_msi_service_stand_in, then zw_msi_service_start: the msiserver service
# runs as a stand-in msiexec.exe (procprobe --service, pid ZW_MSI_SERVICE_PID)
# until a reset or zw_msi_service_undo (at the latest at exit). Wine's own
# service ends at once, so its image path points at the stand-in meanwhile.
# Start some other process between the two halves (a watch): once only the
# system's run, Wine shuts the services down.
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

# zw_msi_events EVENT: "ms pid" of each such procprobe line, in log order.
zw_msi_events() {
  zw_log_lines procprobe "$1" | awk -F'\t' '{ split($5, a, " "); sub("pid=", "", a[1]); print $1, a[1] }'
}

# zw_msi_time EVENT PID: when procprobe logged EVENT for that pid.
zw_msi_time() {
  zw_msi_events "$1" | awk -v p="$2" '$2 == p { print $1; exit }'
}
