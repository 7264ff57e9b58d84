#!/bin/bash
# The same Windows Installer package through the ProgressDialog (parameters
# "/qn", waitList "msiexec.exe") under Wine's own msiexec: the file is
# installed, the "Installation" dialog stands while msiexec runs and closes at
# the first wait tick after msiexec has gone (no grace period there), and the
# next item starts after that. A watch inside Wine (procprobe, 20 ms) tells
# when msiexec and the dialog appeared and went.
# 64-bit prefix, zarnowel64.exe (native: no emulation).
source "$(dirname "$0")/../lib.sh"
source "$ZW_LIB_DIR/msi/msi.sh"
zw_require_wine
zw_prefix win64
zw_msi_require
zw_scratch msi_dialog >/dev/null

app="$ZW_DIR/app"
zw_install_launcher "$app"
zw_msi_build "$app" || zw_finish
zw_helper "$app" after.exe 300
zw_ini "$app" <<'EOF2'
[SetupList]
Setup1=1,zwpackage.msi,/qn,msiexec.exe
Setup2=1,after.exe,/x
EOF2

zw_msi_run_one "$app"
appeared=$ZW_MSI_APPEARED gone=$ZW_MSI_GONE
zw_expect_eq "the dialog was shown twice (package, then helper)" "$(zw_log_count procprobe window-shown)" 2
shown=$(zw_log_ms procprobe window-shown 1)
closed=$(zw_log_ms procprobe window-gone 1)
started=$(zw_log_ms after started)
# The dialog starts the package while it opens and shows once that is done,
# so it comes up about when msiexec appears.
zw_expect_between "the dialog came up as msiexec started (ms from msiexec's appearance)" "$((shown - appeared))" -1500 1500
# Gone, then at most one 500 ms tick, the 300 ms pause and the scans.
zw_expect_between "the dialog closed after msiexec had gone (ms)" "$((closed - gone))" 0 2500
zw_expect_between "helper started after the dialog closed (ms)" "$((started - closed))" 300 5000
zw_expect_eq "the helper item started once" "$(zw_log_count after started)" 1
zw_expect_match "msiexec was started by the launcher" "$(zw_log_lines procprobe seen)" "ppid=$(zw_log_text after started | sed 's/.*ppid=\([0-9]*\).*/\1/') "
zw_note "msiexec ran $((gone - appeared)) ms; dialog shown $((shown - appeared)) ms after msiexec appeared," \
  "closed $((closed - gone)) ms after it had gone; helper started $((started - gone)) ms after msiexec had gone;" \
  "launcher ran $((ZW_END_MS - ZW_START_MS)) ms"

zw_msi_remove
zw_finish
