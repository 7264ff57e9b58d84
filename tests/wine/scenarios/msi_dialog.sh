#!/bin/bash
# The same Windows Installer package through the ProgressDialog (parameters
# "/qn", no waitList) under Wine's own msiexec, its installation lasting 12 s
# (a custom action runs slow.exe): the "Installation" dialog stands while the
# msiexec process its start gave runs and closes at the first wait tick after
# msiexec has gone (no grace period there), and the next item starts after
# that. The package asks for a restart (ScheduleReboot): msiexec ends with
# 3010, and the question comes at the end of the run, after the next item,
# answered No.
# A watch inside Wine (procprobe, 20 ms) tells when msiexec and the dialog
# appeared and went.
# 64-bit prefix, zarnowel64.exe (native: no emulation).
source "$(dirname "$0")/../lib.sh"
source "$ZW_LIB_DIR/msi/msi.sh"
zw_require_wine
zw_prefix win64
zw_msi_require
zw_scratch msi_dialog >/dev/null

SLOW_MS=12000
app="$ZW_DIR/app"
zw_install_launcher "$app"
zw_helper "$app" slow.exe "$SLOW_MS"
zw_msi_build "$app" "$app/slow.exe" reboot || zw_finish
zw_helper "$app" after.exe 300
zw_ini "$app" <<'EOF2'
[SetupList]
Setup1=1,zwpackage.msi,/qn
Setup2=1,after.exe,/x
EOF2

zw_msi_run_one "$app" "System Rebooting" 3010
appeared=$ZW_MSI_APPEARED gone=$ZW_MSI_GONE
zw_msi_slow_checks "$SLOW_MS"
zw_expect_eq "the dialog was shown twice (package, then helper)" "$(zw_log_count procprobe window-shown)" 2
shown=$(zw_log_ms procprobe window-shown 1)
closed=$(zw_log_ms procprobe window-gone 1)
started=$(zw_log_ms after started)
# The dialog starts the package while it opens and shows once that is done,
# so it comes up about when msiexec appears.
zw_expect_between "the dialog came up as msiexec started (ms from msiexec's appearance)" "$((shown - appeared))" -1500 1500
# msiexec runs the custom action at once: the dialog may show a moment after.
zw_expect "the dialog stood while slow.exe ran" \
  test "$shown" -lt $(($(zw_log_ms slow started) + 2000)) -a "$closed" -gt "$(zw_log_ms slow ended)"
# Gone, then at most one 500 ms tick and the scans of the names.
zw_expect_between "the dialog closed after msiexec had gone (ms)" "$((closed - gone))" 0 2500
zw_expect_between "helper started after the dialog closed (ms)" "$((started - closed))" 300 5000
zw_expect_eq "the helper item started once" "$(zw_log_count after started)" 1
zw_expect_match "msiexec was started by the launcher" "$(zw_log_lines procprobe seen)" "ppid=$(zw_log_text after started | sed 's/.*ppid=\([0-9]*\).*/\1/') "
# The restart was asked for by the package; the helper ends normally under
# its dialog, which closes at the next tick without a grace period, and the
# question follows the next item tick. Wine without a window manager returns
# from the dialog about 2 s after hiding it.
zw_expect_match "the helper ended with exit code 0" "$(zw_log_text after ended)" ' exit 0$'
zw_expect_between "the restart question came after the helper (ms)" \
  "$((ZW_MSI_ASKED - $(zw_log_ms after ended)))" 0 6000
zw_note "msiexec ran $((gone - appeared)) ms; dialog shown $((shown - appeared)) ms after msiexec appeared," \
  "closed $((closed - gone)) ms after it had gone; helper started $((started - gone)) ms after msiexec had gone;" \
  "question $((ZW_MSI_ASKED - $(zw_log_ms after ended))) ms after the helper ended; launcher ran $((ZW_END_MS - ZW_START_MS)) ms"

zw_msi_remove
zw_finish
