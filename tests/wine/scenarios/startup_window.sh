#!/bin/bash
# 32-bit prefix: the launcher does the work itself. While a long direct item
# keeps it busy it has one top-level window, class "ZARNOWEL2", title
# "zarnowel2", never visible (also when the start asks for a maximised
# window), and it ends with exit code 0 soon after the menu command 105
# ("E&xit") or WM_CLOSE.
source "$(dirname "$0")/../lib.sh"
zw_require_wine
zw_prefix win32
zw_scratch window >/dev/null

app="$ZW_DIR/app"
mkdir -p "$app"
cp "$ZW_WIN32_DIR/zarnowel.exe" "$app/" 2>/dev/null || zw_skip "zarnowel.exe not built in $ZW_WIN32_DIR"
zw_helper "$app" long.exe 60000
zw_ini "$app" <<'EOF'
[SetupList]
Setup1=1,long.exe, 
EOF

# window_run LABEL ACTION...: ACTION are winprobe's options that end the run.
window_run() {
  local label=$1
  shift
  zw_wine_reset
  : >"$ZW_LOG_FILE"
  zw_start_launcher "$app"
  local out
  out=$(zw_run_prog winprobe --class ZARNOWEL2 --wait 30000 2>/dev/null)
  zw_expect_eq "$label: the window exists" "$?" 0
  zw_expect_eq "$label: exactly one such window" "$(grep -c '^window' <<<"$out")" 1
  zw_expect_match "$label: title zarnowel2" "$out" $'\ttitle=zarnowel2\t'
  zw_expect_match "$label: owned by the launcher" "$out" $'\timage=zarnowel\\.exe$'
  zw_expect_match "$label: hidden" "$out" $'\tvisible=0\t'
  # Past the first item's start (timer of 500 ms), still hidden.
  sleep 2
  out=$(zw_run_prog winprobe --class ZARNOWEL2 2>/dev/null)
  zw_expect_match "$label: still hidden once the run is under way" "$out" $'\tvisible=0\t'
  zw_note "$label: long.exe started $(zw_log_count long started) time(s) by then"

  out=$(zw_run_prog winprobe --class ZARNOWEL2 "$@" --wait-gone 20000 2>/dev/null)
  zw_expect_eq "$label: window gone after '$*'" "$?" 0
  local gone
  gone=$(zw_now_ms)
  zw_wait_launcher
  zw_expect_eq "$label: exit code" "$ZW_RC" 0
  zw_expect_between "$label: launcher ended soon after its window (ms)" "$((ZW_END_MS - gone))" -20000 10000
}

window_run "menu command 105" --post-command 105
window_run "WM_CLOSE" --close
ZW_START_OPTS=/max window_run "started maximised, then 105" --post-command 105

zw_finish
