#!/bin/bash
# A real Windows Installer package, started directly (parameters " ") with no
# waitList, under Wine's own msiexec: its installation runs a custom action
# that lasts 12 s (slow.exe). The package is waited for through the msiexec
# process its start gave, so the next item starts only after msiexec has
# ended and the grace period (20 polls 300 ms apart after a 300 ms pause) has
# passed; no name in the setup list could have held it. That item ends with
# exit code 3010, which asks for a restart: the question comes at the end of
# the run, answered No. A watch inside Wine (procprobe, 20 ms snapshots) tells
# when msiexec appeared and went.
# 64-bit prefix, zarnowel64.exe (native: no emulation).
source "$(dirname "$0")/../lib.sh"
source "$ZW_LIB_DIR/msi/msi.sh"
zw_require_wine
zw_prefix win64
zw_msi_require
zw_scratch msi_direct >/dev/null

SLOW_MS=12000
GRACE_MS=6000
app="$ZW_DIR/app"
zw_install_launcher "$app"
zw_helper "$app" slow.exe "$SLOW_MS"
zw_msi_build "$app" "$app/slow.exe" || zw_finish
zw_helper "$app" after.exe 300 3010
# A blank at the end of a value is dropped by the profile reader, so the
# direct start of an item is written with a trailing comma.
zw_ini "$app" <<'EOF'
[SetupList]
Setup1=1,zwpackage.msi, ,
Setup2=1,after.exe, ,
EOF

zw_msi_run_one "$app" "System Rebooting"
appeared=$ZW_MSI_APPEARED gone=$ZW_MSI_GONE
zw_msi_slow_checks "$SLOW_MS"
started=$(zw_log_ms after started)
zw_expect_eq "the helper item started once" "$(zw_log_count after started)" 1
zw_expect_between "msiexec appeared after the launcher started (ms)" "$((appeared - ZW_START_MS))" 0 10000
# Gone, then at most one 500 ms tick, the 300 ms pause, 20 x 300 ms of grace
# and the 500 ms of the next item's timer: at least 6.8 s.
zw_expect_between "helper started after msiexec ended plus the grace period (ms)" "$((started - gone))" 6750 15000
zw_expect_match "msiexec was started by the launcher" "$(zw_log_lines procprobe seen)" "ppid=$(zw_log_text after started | sed 's/.*ppid=\([0-9]*\).*/\1/') "
zw_expect_eq "no Installation dialog for a direct start" "$(zw_log_count procprobe window-shown)" 0
# The helper ended with 3010: the question follows its grace period and the
# next item tick.
zw_expect_match "the helper ended with exit code 3010" "$(zw_log_text after ended)" ' exit 3010$'
zw_expect_between "the restart question came after the helper and its grace period (ms)" \
  "$((ZW_MSI_ASKED - $(zw_log_ms after ended)))" "$GRACE_MS" $((GRACE_MS + 6000))
zw_note "msiexec ran $((gone - appeared)) ms, appeared $((appeared - ZW_START_MS)) ms after the launcher's start;" \
  "helper started $((started - gone)) ms after msiexec had gone; question $((ZW_MSI_ASKED - $(zw_log_ms after ended))) ms" \
  "after the helper ended; launcher ran $((ZW_END_MS - ZW_START_MS)) ms"

zw_msi_remove
zw_finish
