#!/bin/bash
# Builds the unit tests without sanitizers (preset "valgrind") and runs them
# once under memcheck: any memory error, or a definite or indirect leak, fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZW_VALGRIND_BUILD_DIR:-$root/build/valgrind}
if ! command -v valgrind >/dev/null; then
  echo "valgrind.unit: SKIP: valgrind is not installed (scripts/install-deps.sh)"
  exit 77
fi
cd "$root"
cmake --preset valgrind -B "$build" >/dev/null
cmake --build "$build" -j "${ZW_JOBS:-2}" --target zarnowel_unit
start=$(date +%s%N)
set +e
valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
  --show-leak-kinds=definite,indirect "$build/zarnowel_unit" --gtest_brief=1
rc=$?
set -e
ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "valgrind.unit: exit $rc after $((ms / 1000)).$(printf '%03d' $((ms % 1000))) s"
exit $rc
