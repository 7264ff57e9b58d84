#!/bin/bash
# Runs the launcher on the bundled example setup list under Wine and Xvfb:
# stand-in installers take the place of real ones, and what each of them saw
# (when it started, from where, with which parameters, which windows were on
# the screen) is printed at the end, then the launcher's own log (/log:).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
./scripts/install-deps.sh
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "${ZW_JOBS:-2}" ${ZW_EXAMPLE_TARGETS:-} >/dev/null
done

set +e
ZW_SCENARIO=example
source tests/wine/e2e/run.sh
host_require
host_prefix win64
zw_scratch example >/dev/null
dir=$ZW_DIR
zw_install_launcher "$dir"
cp -r examples/. "$dir/"
echo "== running $ZW_WDIR\\zarnowel.exe (32-bit; on this 64-bit Windows it hands over to zarnowel64.exe)"
zw_run_example "$dir" "/log:$ZW_WDIR\\zarnowel.log"
echo "whole run: $(($(zw_now_ms) - ZW_EXAMPLE_T0)) ms"
echo
echo "== what the stand-in installers saw (ms since the start, program, event, detail)"
awk -F'\t' -v t0="$ZW_EXAMPLE_T0" '$4 != "windows" || $5 ~ /Installation/ { printf "%7d  %-13s %-8s %s\n", $1 - t0, $2, $4, $5 }' "$ZW_LOG_FILE"
echo
echo "== the launcher's log, $ZW_WDIR\\zarnowel.log"
tr -d '\r' <"$dir/zarnowel.log"
zw_expect "the log ends with the 32-bit launcher's exit code, 0, and its meaning" \
  test "$(tail -n 1 "$dir/zarnowel.log" | tr -d '\r' | cut -d' ' -f4- | cut -d: -f1-2)" = "end: exit code 0"
zw_finish
