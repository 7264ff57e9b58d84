#!/bin/bash
# The process watcher on real processes, in the 64-bit and the 32-bit prefix:
# a running helper is found by its exact image name in any letter case (not
# without its extension), by a fragment, and ended by name with the exit code
# 259; 10,000 scans in a row leave the handle count where it was.
source "$(dirname "$0")/../lib.sh"
zw_require_wine

for arch in win64 win32; do
  zw_prefix "$arch"
  zw_scratch "watcher-$arch" >/dev/null
  probe="$ZW_DIR/watchprobe.exe"
  cp "$(zw_prog watchprobe_core)" "$probe"
  zw_helper "$ZW_DIR" Alpha.exe 900000  # outlives the scans; ended by the reset below
  zw_helper "$ZW_DIR" victim.exe 60000
  zw_wine "$ZW_DIR/Alpha.exe" >/dev/null 2>&1 &
  zw_wait_log Alpha started 1 60 || continue

  field() { sed -n "s/^$1=//p" | tr -d '\r'; }
  for name in Alpha.exe ALPHA.EXE alpha.exe; do
    out=$(zw_wine "$probe" running "$name" 2>/dev/null)
    zw_expect_eq "$arch: running $name" "$(echo "$out" | field result)" 1
  done
  zw_expect_eq "$arch: argument upper-cased in place" "$(zw_wine "$probe" running alpha.exe 2>/dev/null | field argument)" ALPHA.EXE
  zw_expect_eq "$arch: no extension is added" "$(zw_wine "$probe" running Alpha 2>/dev/null | field result)" 0
  zw_expect_eq "$arch: found by fragment" "$(zw_wine "$probe" contains lpha.e 2>/dev/null | field result)" 1
  zw_expect_eq "$arch: fragment of nothing" "$(zw_wine "$probe" contains zz_none 2>/dev/null | field result)" 0

  out=$(zw_wine "$probe" end "$ZW_WDIR\\victim.exe" victim 2>/dev/null)
  zw_expect_eq "$arch: ended by name" "$(echo "$out" | field result)" 1
  zw_expect_eq "$arch: the process is gone" "$(echo "$out" | field gone)" 1
  zw_expect_eq "$arch: exit code of the ended process" "$(echo "$out" | field exitcode)" 259
  zw_expect_eq "$arch: it never logged its own end" "$(zw_log_count victim ended)" 0
  zw_expect_eq "$arch: nothing left to end" "$(zw_wine "$probe" terminate victim 2>/dev/null | field result)" 0

  # The measure below must be able to see a leak: one snapshot left open moves
  # the next free handle value.
  out=$(zw_wine "$probe" leak 2>/dev/null)
  zw_expect "$arch: a handle left open shows" \
    test "$(echo "$out" | field next_handle_after)" != "$(echo "$out" | field next_handle_before)"

  # 10,000 scans take about 25 s natively and 90 s in the emulated 32-bit prefix.
  scans=10000
  t0=$(zw_now_ms)
  out=$(zw_wine "$probe" loop $scans alpha.exe 2>/dev/null)
  zw_note "$arch: $scans scans: $(echo "$out" | tr '\r\n' '  ') (wall $(($(zw_now_ms) - t0)) ms)"
  zw_expect_eq "$arch: every scan found the helper" "$(echo "$out" | field found)" $scans
  # The next free handle value is the measure that works everywhere: a handle
  # left open by any scan would hold the slot it had.
  zw_expect_eq "$arch: next free handle after $scans scans" "$(echo "$out" | field next_handle_after)" \
    "$(echo "$out" | field next_handle_before)"
  # GetProcessHandleCount says 0 under Wine; where it counts, it must not grow.
  before=$(echo "$out" | field handles_before)
  if [ "$before" != 0 ]; then
    zw_expect_eq "$arch: handle count after $scans scans" "$(echo "$out" | field handles_after)" "$before"
    zw_expect_eq "$arch: handle count at its peak" "$(echo "$out" | field handles_peak)" "$before"
  else
    zw_note "$arch: GetProcessHandleCount reports 0 here; the next free handle value stands in"
  fi
  zw_wine_reset
done
zw_finish
