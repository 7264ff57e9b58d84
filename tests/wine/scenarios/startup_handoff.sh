#!/bin/bash
# 64-bit prefix: the 32-bit launcher runs under WOW64 and hands the job to
# "zarnowel64.exe" (here a stand-in that logs how it was started), with an
# empty parameter string, also when started with /s; it ends with exit code 0
# at once, without a window of its own and without reading a setup list.
source "$(dirname "$0")/../lib.sh"
zw_require_wine
zw_prefix win64
zw_scratch handoff >/dev/null

app="$ZW_DIR/app"
mkdir -p "$app"
cp "$ZW_WIN32_DIR/zarnowel.exe" "$app/" 2>/dev/null || zw_skip "zarnowel.exe not built in $ZW_WIN32_DIR"
zw_helper "$app" zarnowel64.exe 3000
# A setup list whose item would show if the launcher did the work itself.
zw_helper "$app" item.exe 500
zw_ini "$app" <<'EOF'
[SetupList]
Setup1=1,item.exe, 
[SetupSilent]
Setup1=1,item.exe, 
EOF

# One run: the launcher with ARGS from the working directory CWD; a probe
# watches for the launcher's window for the whole time.
handoff_run() {
  local label=$1 cwd=$2
  shift 2
  : >"$ZW_LOG_FILE"
  zw_run_prog winprobe --class ZARNOWEL2 --absent 6000 >"$ZW_WORK/probe.out" 2>/dev/null &
  local probe=$!
  sleep 1
  ZW_CWD=$cwd zw_run_launcher "$app" "$@"
  zw_expect "$label: the window probe still watched when the launcher ended" kill -0 "$probe"
  zw_expect_eq "$label: exit code" "$ZW_RC" 0
  zw_wait_log zarnowel64 ended 1 30
  wait "$probe"
  local probe_rc=$?
  zw_expect_eq "$label: no ZARNOWEL2 window appeared ($(head -n1 "$ZW_WORK/probe.out"))" "$probe_rc" 0
  zw_expect_eq "$label: sibling started once" "$(zw_log_count zarnowel64 started)" 1
  zw_expect_eq "$label: sibling got no parameters" "$(zw_log_text zarnowel64 tail)" "[]"
  zw_expect "$label: sibling started after the launcher" [ "$(zw_log_ms zarnowel64 started)" -ge "$ZW_START_MS" ]
  zw_expect_eq "$label: no setup item started" "$(zw_log_count item started)" 0
  # The launcher returns at once; the sibling lives on after it.
  zw_expect "$label: launcher ended before the sibling" [ "$ZW_END_MS" -lt "$(zw_log_ms zarnowel64 ended)" ]
  zw_note "$label: sibling $(zw_log_text zarnowel64 module), command line $(zw_log_text zarnowel64 cmdline)," \
    "cwd $(zw_log_text zarnowel64 cwd); launcher took $((ZW_END_MS - ZW_START_MS)) ms"
}

# The bare name is resolved like any relative name: run from the launcher's folder.
handoff_run "plain start" "$app"
handoff_run "with /s" "$app" /s
handoff_run "with /silent" "$app" /silent

# From another folder that holds a zarnowel64.exe of its own: which one starts?
# Wine's shell searches the caller's executable folder before the current
# directory, so the one beside the launcher does; exactly one must start.
other="$ZW_DIR/other"
zw_helper "$other" zarnowel64.exe 3000
handoff_run "started from another folder" "$other"
zw_expect_eq "another folder: the sibling beside the launcher was started" \
  "$(zw_log_text zarnowel64 module)" "$(zw_winpath "$app")\\zarnowel64.exe"
zw_expect_eq "another folder: the sibling inherited the working directory" \
  "$(zw_log_text zarnowel64 cwd)" "$(zw_winpath "$other")"

# No sibling anywhere: nothing starts, still exit code 0.
rm -f "$app/zarnowel64.exe" "$other/zarnowel64.exe"
: >"$ZW_LOG_FILE"
ZW_CWD=$app zw_run_launcher "$app"
zw_expect_eq "no sibling: exit code" "$ZW_RC" 0
zw_expect_eq "no sibling: no item started either" "$(zw_log_count item started)" 0

zw_finish
