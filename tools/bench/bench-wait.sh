#!/bin/bash
# Long-wait bench: what the launcher costs while an item runs for minutes.
# 64-bit prefix, zarnowel64.exe. 100 helper copies (load.exe) run through the
# whole bench, so every process snapshot the launcher takes holds about 110
# entries. Four runs:
#   direct   Setup1=1,wait.exe, ,nothere.exe   started directly, polled on
#            the launcher's window timer; wait.exe runs 120 s
#   dialog   Setup1=1,wait.exe,p,nothere.exe   run through the "Installation"
#            progress dialog, polled on the dialog's timer; the same 120 s
#   names-1  Setup1=1,quick.exe, ,held.exe     started directly; quick.exe
#            ends after 1 s and held.exe, started by the bench just before the
#            launcher, holds the wait for 60 s more
#   names-5  Setup1=1,quick.exe, ,absent1.exe~*.zwx~absent2.exe~absent3.exe~held.exe
#            the same, with four names that never run before held.exe
# A probe inside Wine (benchprobe --stat) samples the launcher about every 10 s
# (5 s) from 5 s after the item started until 3 s before what holds the wait
# ends: CPU time (the sum of GetThreadTimes over its threads: Wine's
# GetProcessTimes gives the caller's own times for another process), handles
# (its entries in the system handle table: GetProcessHandleCount says 0 under
# Wine), working set; the Unix side reads /proc of the launcher's Unix process
# at each sample (utime+stime, VmRSS) as a cross-check.
#
# A bench, not a test: it prints the figures and the goals, and fails only
# when the rig itself breaks (the launcher doesn't start or end, exits
# non-zero, or the probe cannot see it). The table also goes to
# $ZW_BENCH_OUT (default build/bench-wait.txt). The goals: while the item's
# own process or a waitList name holds the wait, at most 0.2 % of one core (a
# tick is one zero-timeout wait on the process's handle, no snapshot; a
# process found by name is held by its handle too); 1 and 5 names cost the
# same within noise;
# handles no more at the end than at the start, working set and RSS within
# 64 KiB of it. Noise: each run's CPU is also given per sample interval (mean
# and standard deviation), and the machine's load average at its start and
# end; the wineserver's share is measured with the load alone.
#
# wait.exe, quick.exe and held.exe start after the 100 load processes, so
# their entries come after the load's in the snapshot: a scan that finds
# held.exe has walked past all of the load. The names that never run make
# each scan for them walk the whole snapshot; in the direct runs the grace
# period after the last name makes all its 20 polls.
source "$(dirname "$0")/../../tests/wine/e2e/run.sh"
host_require
host_prefix win64
zw_scratch bench_wait >/dev/null
BENCH_PROBE=$ZW_WIN64_DIR/tools/bench/benchprobe.exe
[ -f "$BENCH_PROBE" ] || zw_skip "benchprobe.exe not built in $ZW_WIN64_DIR/tools/bench (build the win64 preset)"
bench_probe() { zw_wine "$BENCH_PROBE" "$@"; }
BENCH_T0=$(zw_now_ms) # the prefix is ours from here: waits for its lock don't count

LOADS=100
WAIT_MS=120000  # wait.exe: the item's own process holds the wait
HELD_MS=62000   # held.exe: a waitList name holds the wait, after quick.exe's 1 s
FIRST_SAMPLE_MS=5000 # after the item's "started"
LAST_SAMPLE_GAP_MS=3000 # before what holds the wait ends
BENCH_OUT=${ZW_BENCH_OUT:-$ZW_SOURCE_DIR/build/bench-wait.txt}
CLK_TCK=$(getconf CLK_TCK)
export ZW_TIMEOUT=$((WAIT_MS / 1000 + 120))
export ZW_EXE=zarnowel64.exe

app="$ZW_DIR/app"
loads="$ZW_DIR/load"
zw_install_launcher "$app"
zw_helper "$app" wait.exe "$WAIT_MS"
zw_helper "$app" quick.exe 1000
zw_helper "$app" held.exe "$HELD_MS"
# The load outlives both runs; the clean-up at exit ends it.
zw_helper "$loads" load.exe 900000

# kv LINE KEY: the value of KEY=... in a tab-separated probe line.
kv() { printf '%s\n' "$1" | tr '\t' '\n' | sed -n "s/^$2=//p" | head -n1; }

# unix_pids COMM: Unix processes of this prefix whose command name is COMM
# (another prefix may run the same programs at the same time).
unix_pids() {
  local p
  for p in $(pgrep -f -- "$1"); do
    [ "$(cat "/proc/$p/comm" 2>/dev/null)" = "$1" ] || continue
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
}

# unix_ticks PID: utime+stime of all its threads, in clock ticks.
unix_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat" 2>/dev/null; }

# unix_rss_kb PID
unix_rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null; }

ticks_ms() { echo $(($1 * 1000 / CLK_TCK)); }

# pct MS OVER_MS: MS as a percentage of OVER_MS, two decimals.
pct() { awk -v c="$1" -v w="$2" 'BEGIN { printf "%.2f", (w > 0 ? c * 100 / w : 0) }'; }

# ---------------------------------------------------------------- the handle measure

# The system handle table must show the probe's own 10 events come and go,
# or the handle figures below mean nothing.
check=$(bench_probe --handle-check 2>/dev/null)
check_rc=$?
check=${check//$'\r'/}
zw_note "system handle table, own handles: $check"
if [ "$check_rc" = 0 ]; then
  HANDLES_FROM=sys_handles
else
  HANDLES_FROM=
  zw_note "the system handle table does not show handles here: no handle figures"
fi

# ---------------------------------------------------------------- the load

# spawn_loads N: N more load processes, from up to five spawners at once;
# what the spawners print goes to spawn.txt.
spawn_loads() {
  local n=$1 k per spawners=() p
  for k in 1 2 3 4 5; do
    per=$(((n + 5 - k) / 5))
    [ "$per" -gt 0 ] || continue
    bench_probe --spawn "$(zw_winpath "$loads/load.exe")" "$per" >>"$ZW_DIR/spawn.txt" 2>&1 &
    spawners+=($!)
  done
  for p in "${spawners[@]}"; do wait "$p"; done
}

# A start the busy system refuses, or one Wine's loader gives up before the
# program runs, is made again, up to three times; the table then says so.
t0=$(zw_now_ms)
: >"$ZW_DIR/spawn.txt"
spawn_loads "$LOADS"
for round in 1 2 3 4; do
  zw_log_reaches load started "$LOADS" 30 && break
  have=$(zw_log_count load started)
  refused=$(grep -c '^failed' "$ZW_DIR/spawn.txt")
  if [ "$round" = 4 ]; then
    zw_fail "only $have of $LOADS load processes started; refused starts: $refused"
    sed -n '/^failed/p' "$ZW_DIR/spawn.txt" | sort | uniq -c | sed 's/^/  /'
    zw_finish
  fi
  zw_note "after $(($(zw_now_ms) - t0)) ms $have of $LOADS load processes had started ($refused starts refused): starting $((LOADS - have)) more"
  LOAD_RETRIES=$((${LOAD_RETRIES:-0} + LOADS - have))
  spawn_loads $((LOADS - have))
done
zw_note "$LOADS load processes started in $(($(zw_now_ms) - t0)) ms"
wineserver_pid=$(unix_pids wineserver64 | head -n1)
[ -n "$wineserver_pid" ] || wineserver_pid=$(unix_pids wineserver | head -n1)
[ -n "$wineserver_pid" ] || { zw_fail "no wineserver of this prefix"; zw_finish; }

# What the load alone costs the wineserver, to set against the runs.
sleep 2
ws_t0=$(zw_now_ms)
ws_k0=$(unix_ticks "$wineserver_pid")
sleep 10
ws_k1=$(unix_ticks "$wineserver_pid")
WS_BASE_PCT=$(pct "$(ticks_ms $((ws_k1 - ws_k0)))" "$(($(zw_now_ms) - ws_t0))")
zw_note "wineserver with the load alone: $WS_BASE_PCT % of one core"

# ---------------------------------------------------------------- one run

ROWS=()
NOTES=()
VERDICTS=()
# row FIELDS...: one line of the table.
row() { printf '%-8s %8s %7s %7s %12s %8s %7s %10s %13s %13s\n' "$@"; }

# verdict LABEL OK: "LABEL meets" or "LABEL misses".
verdict() { if [ "$2" = 1 ]; then echo "$1 meets"; else echo "$1 MISSES"; fi; }

# load1: the machine's load average over the last minute.
load1() { cut -d' ' -f1 /proc/loadavg; }

# interval_rates < "T_MS... -- CPU_MS...": "mean sd" of the CPU share (% of
# one core) of each interval between two samples.
interval_rates() {
  awk '$0 == "--" { cpu = 1; i = 0; next }
    { if (cpu) c[i++] = $0; else t[n++] = $0 }
    END {
      for (k = 1; k < n; k++) { r[k] = (t[k] > t[k - 1]) ? (c[k] - c[k - 1]) * 100 / (t[k] - t[k - 1]) : 0; s += r[k] }
      m = (n > 1) ? s / (n - 1) : 0
      for (k = 1; k < n; k++) v += (r[k] - m) ^ 2
      printf "%.2f %.2f\n", m, (n > 2) ? sqrt(v / (n - 2)) : 0
    }'
}

# bench_run NAME PARAMETERS ITEM WAITLIST HOLDER HOLD_MS SAMPLES: the item
# ITEM started with PARAMETERS and WAITLIST; HOLDER (the item itself, or a
# waitList process that the bench starts just before the launcher) runs
# HOLD_MS and holds the wait; SAMPLES samples while it does.
bench_run() {
  local name=$1 params=$2 item=$3 waitList=$4 holder=$5 hold=$6 samples=$7
  local itemBase=${item%.*} holderBase=${holder%.*} n heldStarted=
  zw_note "$name: Setup1=1,$item,$params,$waitList"
  zw_ini "$app" <<LIST
[SetupList]
Setup1=1,$item,$params,$waitList
LIST
  n=$(($(zw_log_count "$itemBase" started) + 1))
  if [ "$holder" != "$item" ]; then
    local h=$(($(zw_log_count "$holderBase" started) + 1))
    zw_wine "$app/$holder" >/dev/null 2>&1 &
    zw_wait_log "$holderBase" started "$h" 60 || return 1
    heldStarted=$(zw_log_ms "$holderBase" started "$h")
  fi
  local load0
  load0=$(load1)
  zw_start_launcher "$app" || return 1
  if ! zw_wait_log "$itemBase" started "$n" 60; then
    zw_wait_launcher
    return 1
  fi
  local started upid
  started=$(zw_log_ms "$itemBase" started "$n")
  [ -n "$heldStarted" ] || heldStarted=$started
  upid=$(unix_pids zarnowel64.exe | head -n1)
  if [ -z "$upid" ]; then
    zw_fail "$name: no Unix process of zarnowel64.exe in this prefix"
    zw_wait_launcher
    return 1
  fi

  # The probe starts in about a second; its samples are then due every
  # $every ms, the last one before the holder ends.
  local first_due=$((started + FIRST_SAMPLE_MS)) last_due=$((heldStarted + hold - LAST_SAMPLE_GAP_MS))
  local every=$(((last_due - first_due) / (samples - 1)))
  local lead=$((first_due - 800 - $(zw_now_ms)))
  [ "$lead" -gt 0 ] && sleep "$(awk -v m="$lead" 'BEGIN { printf "%.3f", m / 1000 }')"
  local line stats=() unix=() ws0 ws1
  ws0=$(unix_ticks "$wineserver_pid")
  while IFS= read -r line; do
    line=${line%$'\r'}
    case $line in
      stat*) stats+=("$line")
        unix+=("$(unix_ticks "$upid") $(unix_rss_kb "$upid")") ;;
      *) zw_note "$name: probe said: $line" ;;
    esac
  done < <(bench_probe --stat zarnowel64.exe --every "$every" --count "$samples" 2>/dev/null)
  ws1=$(unix_ticks "$wineserver_pid")
  local load_end
  load_end=$(load1)

  # What the launcher spends once the holder is gone (names, grace period
  # for a direct start), read from /proc until it has ended.
  local last_ticks='' t
  [ "${#unix[@]}" -gt 0 ] && last_ticks=${unix[-1]%% *}
  while t=$(unix_ticks "$upid") && [ -n "$t" ]; do
    last_ticks=$t
    sleep 0.1
  done
  zw_wait_launcher
  zw_expect_eq "$name: launcher exit code" "$ZW_RC" 0
  zw_expect_eq "$name: $item ended" "$(zw_log_count "$itemBase" ended)" "$n"
  zw_expect_eq "$name: the probe saw the launcher at every sample" "${#stats[@]}" "$samples"
  zw_expect_eq "$name: no load process ended" "$(zw_log_count load ended)" 0
  [ "${#stats[@]}" -ge 2 ] || return 1
  zw_expect "$name: the probe read the launcher's thread times" \
    test "$(kv "${stats[0]}" thread_cpu_ms)" -ge 0 -a "$(kv "${stats[-1]}" thread_cpu_ms)" -ge 0
  local ended
  ended=$(zw_log_ms "$holderBase" ended -1)
  zw_expect "$name: $holder held the wait until the last sample" test "$(kv "${stats[-1]}" t)" -lt "${ended:-0}"
  if [ "$holder" != "$item" ]; then
    zw_expect "$name: $item had ended before the first sample" \
      test "$(zw_log_ms "$itemBase" ended "$n")" -lt "$(kv "${stats[0]}" t)"
  fi

  local first=${stats[0]} last=${stats[-1]} i rel
  for i in "${!stats[@]}"; do
    line=${stats[$i]}
    rel=$(($(kv "$line" t) - started))
    printf '[bench] %s sample %2d: +%6d ms thread_cpu_ms=%s sys_handles=%s top_handle=%s threads=%s ws_kb=%s private_kb=%s unix_ticks=%s unix_rss_kb=%s\n' \
      "$name" "$i" "$rel" "$(kv "$line" thread_cpu_ms)" "$(kv "$line" sys_handles)" "$(kv "$line" top_handle)" \
      "$(kv "$line" threads)" "$(kv "$line" ws_kb)" "$(kv "$line" private_kb)" "${unix[$i]%% *}" "${unix[$i]##* }"
  done
  local t_first t_last wait_ms cpu_ms ucpu_ms h0 h1 w0 w1 r0 r1
  t_first=$(kv "$first" t)
  t_last=$(kv "$last" t)
  wait_ms=$((t_last - t_first))
  cpu_ms=$(($(kv "$last" thread_cpu_ms) - $(kv "$first" thread_cpu_ms)))
  ucpu_ms=$(ticks_ms $((${unix[-1]%% *} - ${unix[0]%% *})))
  local spread
  spread=$({
    for line in "${stats[@]}"; do kv "$line" t; done
    echo --
    for line in "${stats[@]}"; do kv "$line" thread_cpu_ms; done
  } | interval_rates)
  if [ -n "$HANDLES_FROM" ]; then
    # The launcher holds a snapshot handle while it scans, part of each
    # 500 ms tick; each sample is the fewest of reads spread over a whole
    # tick, so a handle counts only when it stays open.
    local counts=() most=()
    for line in "${stats[@]}"; do
      counts+=("$(kv "$line" "$HANDLES_FROM")")
      most+=("$(kv "$line" "${HANDLES_FROM}_max")")
    done
    h0=${counts[0]}
    h1=${counts[-1]}
    zw_note "$name: handles per sample (fewest over a tick): ${counts[*]}; the most: ${most[*]}"
  else
    h0=n/a h1=n/a
  fi
  w0=$(kv "$first" ws_kb)
  w1=$(kv "$last" ws_kb)
  r0=${unix[0]##* }
  r1=${unix[-1]##* }
  zw_note "$name: samples from +$((t_first - started)) to +$((t_last - started)) ms after $item started;" \
    "$holder ran $((ended - heldStarted)) ms; the launcher ended $((ZW_END_MS - ended)) ms after it," \
    "using $(ticks_ms $((last_ticks - ${unix[-1]%% *}))) ms of CPU after the last sample"
  local server_pct
  server_pct=$(pct "$(ticks_ms $((ws1 - ws0)))" "$wait_ms")
  zw_note "$name: wineserver (load included) $server_pct % of one core while sampling; load alone $WS_BASE_PCT %"
  NOTES+=("$name: load average $load0 -> $load_end; wineserver $server_pct % of one core meanwhile, $WS_BASE_PCT % with the load alone (it builds the snapshots, and serves the load's window scans, more of them while a dialog shows); the launcher ended $((ZW_END_MS - ended)) ms after $holder")

  local cpu_pct ucpu_pct
  cpu_pct=$(pct "$cpu_ms" "$wait_ms")
  ucpu_pct=$(pct "$ucpu_ms" "$wait_ms")
  CPU_SPREAD[$name]=$spread
  ROWS+=("$(row "$name" \
    "$(awk -v w="$wait_ms" 'BEGIN { printf "%.1f", w / 1000 }')" "$cpu_ms" "$cpu_pct" "${spread/ /±}" "$ucpu_ms" "$ucpu_pct" \
    "$h0/$h1" "$w0/$w1" "$r0/$r1")")
  local cpu_goal grow_h grow_w grow_r
  cpu_goal=$(verdict "CPU $cpu_pct % (Unix $ucpu_pct %), per interval ${spread/ / ± } %, at most 0.2 %," \
    "$(awk -v a="$cpu_pct" -v b="$ucpu_pct" 'BEGIN { print (a <= 0.2 && b <= 0.2) ? 1 : 0 }')")
  if [ "$h0" = n/a ]; then grow_h="handles n/a"; else grow_h=$(verdict "handles $h0 -> $h1" $((h1 <= h0))); fi
  grow_w=$(verdict "working set $w0 -> $w1 KiB" $((w1 <= w0 + MEM_SLACK_KB)))
  grow_r=$(verdict "Unix RSS $r0 -> $r1 KiB" $((r1 <= r0 + MEM_SLACK_KB)))
  VERDICTS+=("$name: $cpu_goal; $grow_h; $grow_w; $grow_r")
  return 0
}

# The same within noise: the two means differ by no more than twice the
# standard error of their difference, from the spread of the intervals.
names_verdict() {
  local a=${CPU_SPREAD[names-1]:-} b=${CPU_SPREAD[names-5]:-}
  if [ -z "$a" ] || [ -z "$b" ]; then
    echo "names: n/a"
    return
  fi
  awk -v a="$a" -v b="$b" -v n=$((NAME_SAMPLES - 1)) 'BEGIN {
    split(a, x, " "); split(b, y, " ")
    d = y[1] - x[1]; ad = d < 0 ? -d : d; lim = 2 * sqrt((x[2] ^ 2 + y[2] ^ 2) / n)
    printf "names: 5 names %s%.2f %% of one core against 1 name, noise (two standard errors) %.2f: %s\n",
      (d < 0 ? "-" : "+"), ad, lim, (ad <= lim ? "the same within noise" : "DIFFERENT")
  }'
}

# Memory counts as not grown when it ends within this much of its start.
MEM_SLACK_KB=64
NAME_SAMPLES=12
declare -A CPU_SPREAD
bench_run direct " " wait.exe nothere.exe wait.exe "$WAIT_MS" 12
bench_run dialog p wait.exe nothere.exe wait.exe "$WAIT_MS" 12
bench_run names-1 " " quick.exe held.exe held.exe "$HELD_MS" "$NAME_SAMPLES"
bench_run names-5 " " quick.exe 'absent1.exe~*.zwx~absent2.exe~absent3.exe~held.exe' held.exe "$HELD_MS" "$NAME_SAMPLES"

# ---------------------------------------------------------------- the table

{
  echo "Long-wait bench (zarnowel64.exe under $(wine --version 2>/dev/null), 64-bit prefix, $(nproc) cores), $LOADS other processes running."
  echo "direct/dialog: the item's own process holds the wait for $((WAIT_MS / 1000)) s; names-1/names-5: after a 1 s item," \
    "a waitList name (of 1 or 5) holds it for $((HELD_MS / 1000)) s. Figures between the first and the last sample."
  echo "cpu: GetThreadTimes over the launcher's threads, overall and per sample interval (mean±sd); unix: utime+stime of its Unix process;" \
    "handles: its entries in the system handle table, the fewest of 10 reads 60 ms apart at the first and at the last sample."
  row run waited_s cpu_ms cpu_% interval_% unix_ms unix_% handles ws_kib unix_rss_kib
  row "" "" "" "" "mean±sd" "" "" start/end start/end start/end
  for r in "${ROWS[@]}"; do echo "$r"; done
  echo "goals: own process and names at most 0.2 % of one core; 1 and 5 names the same within noise; handles no more at the end than at the start; working set and RSS within $MEM_SLACK_KB KiB of the start"
  for v in "${VERDICTS[@]}"; do echo "$v"; done
  names_verdict
  for v in "${NOTES[@]}"; do echo "$v"; done
  echo "the bench took $((($(zw_now_ms) - BENCH_T0) / 1000)) s once the prefix was free"
  [ -z "${LOAD_RETRIES:-}" ] || echo "load: $LOAD_RETRIES of the $LOADS load processes had to be started again (refused, or given up by Wine's loader)"
} >"$ZW_WORK/table.txt"
mkdir -p "$(dirname "$BENCH_OUT")"
cp "$ZW_WORK/table.txt" "$BENCH_OUT"
echo
cat "$BENCH_OUT"
echo "(written to $BENCH_OUT)"
zw_finish
