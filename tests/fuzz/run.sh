#!/bin/bash
# Builds the libFuzzer targets (preset "fuzz") and runs each for SECONDS
# (default 30) on a copy of its seed corpus, after replaying every input kept
# under regressions/<target>/. Prints one line per target; exits non-zero when
# any target crashed, leaked or broke an invariant, 77 when clang or libFuzzer
# is missing. A crashing input is kept under build/fuzz/artifacts/<target>/;
# add it to regressions/<target>/ once it is understood.
set -uo pipefail
secs=${1:-30}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${ZW_FUZZ_BUILD_DIR:-$root/build/fuzz}
targets=(fuzz_setup_value fuzz_load_setup_list fuzz_paths fuzz_switches fuzz_detect_rules fuzz_exit_codes)

# Inputs longer than these only repeat what the targets already cut.
declare -A max_len=([fuzz_setup_value]=512 [fuzz_load_setup_list]=8192 [fuzz_paths]=1024 [fuzz_switches]=4096 [fuzz_detect_rules]=512 [fuzz_exit_codes]=512)

skip() { echo "fuzz: SKIP: $*"; exit 77; }
command -v clang++ >/dev/null || skip "clang++ is not installed (scripts/install-deps.sh)"
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe/p.cpp"
clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" 2>"$probe/err" ||
  skip "clang cannot link libFuzzer with ASan/UBSan (libclang-rt-14-dev?): $(head -1 "$probe/err")"

cd "$root"
if ! cmake --preset fuzz -B "$build" >"$probe/configure.log" 2>&1; then
  cat "$probe/configure.log"; echo "fuzz: FAIL: configure"; exit 1
fi
if ! cmake --build "$build" -j "${ZW_JOBS:-2}" >"$probe/build.log" 2>&1; then
  cat "$probe/build.log"; echo "fuzz: FAIL: build"; exit 1
fi

# What went wrong, without libFuzzer's dump of the input.
why() { grep -E 'invariant broken|ERROR:|SUMMARY:|runtime error|^ +#[0-9]+ |Running: ' "$1" | head -20; }

failed=0
for t in "${targets[@]}"; do
  exe=$build/$t
  artifacts=$build/artifacts/$t
  mkdir -p "$artifacts"
  opts=(-max_len="${max_len[$t]}" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$artifacts/")
  [ -f "$here/$t.dict" ] && opts+=(-dict="$here/$t.dict")

  regs=()
  [ -d "$here/regressions/$t" ] && mapfile -t regs < <(find "$here/regressions/$t" -type f | sort)
  if [ ${#regs[@]} -gt 0 ] && ! "$exe" "${opts[@]}" "${regs[@]}" >"$probe/$t.replay.log" 2>&1; then
    why "$probe/$t.replay.log"
    echo "$t: FAIL: a regression input crashes again (${#regs[@]} replayed)"
    failed=1
    continue
  fi

  work=$probe/corpus-$t
  mkdir -p "$work"
  cp "$here/corpus/$t"/* "$work"/
  seeds=$(find "$work" -type f | wc -l)
  "$exe" "${opts[@]}" -max_total_time="$secs" -print_final_stats=1 "$work" >"$probe/$t.log" 2>&1
  rc=$?
  log=$probe/$t.log
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  corp=$(find "$work" -type f | wc -l)
  summary="${execs:-?} executions in ${secs} s (${rate:-?}/s), cov ${cov:-?}, ft ${ft:-?}, corpus $seeds -> $corp, ${#regs[@]} regressions replayed"
  if [ $rc -ne 0 ]; then
    why "$log"
    echo "$t: FAIL (exit $rc): $summary; input kept in $artifacts"
    failed=1
  else
    echo "$t: ok: $summary"
  fi
done
exit $failed
