#!/bin/bash
# 64-bit prefix: the 64-bit sibling, started directly, is never under WOW64,
# so it does the work itself: its own hidden "ZARNOWEL2" window, the setup
# list beside it (read although started from elsewhere; /s picks the silent
# section), no second hand-off, and exit code 0 after the menu command 105.
source "$(dirname "$0")/../lib.sh"
zw_require_wine
zw_prefix win64
zw_scratch sibling >/dev/null

app="$ZW_DIR/app"
zw_install_launcher "$app"
zw_helper "$app" long.exe 60000
zw_helper "$app" quiet.exe 60000
zw_ini "$app" <<'EOF'
[SetupList]
Setup1=1,long.exe, 
[SetupSilent]
Setup1=1,quiet.exe, 
EOF

for args in "" "/s"; do
  label="zarnowel64.exe ${args:-without arguments}"
  item=long other=quiet
  [ -n "$args" ] && item=quiet other=long
  zw_wine_reset
  : >"$ZW_LOG_FILE"
  ZW_EXE=zarnowel64.exe zw_start_launcher "$app" $args
  out=$(zw_run_prog winprobe --class ZARNOWEL2 --wait 30000 2>/dev/null)
  zw_expect_eq "$label: its window exists" "$?" 0
  zw_expect_eq "$label: exactly one such window" "$(grep -c '^window' <<<"$out")" 1
  zw_expect_match "$label: the window is its own" "$out" $'\ttitle=zarnowel2\tvisible=0\t.*\timage=zarnowel64\\.exe$'
  procs=$(zw_run_prog winprobe --procs 2>/dev/null)
  zw_expect_eq "$label: one zarnowel64.exe process, no second hand-off" \
    "$(grep -c $'\timage=zarnowel64\\.exe' <<<"$procs")" 1
  zw_expect_eq "$label: no 32-bit launcher involved" "$(grep -c $'\timage=zarnowel\\.exe' <<<"$procs")" 0
  # The item shows which section of the list beside the executable was read.
  zw_wait_log $item started 1 30 && zw_ok "$label: $item.exe of its section started"
  zw_expect_eq "$label: the item got no parameters (direct start)" "$(zw_log_text $item tail)" "[]"
  zw_expect_eq "$label: the other section's item did not start" "$(zw_log_count $other started)" 0
  zw_run_prog winprobe --class ZARNOWEL2 --post-command 105 --wait-gone 20000 >/dev/null 2>&1
  zw_expect_eq "$label: window gone after command 105" "$?" 0
  zw_wait_launcher
  zw_expect_eq "$label: exit code" "$ZW_RC" 0
done

zw_finish
