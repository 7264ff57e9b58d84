#!/bin/bash
# Installs what is needed, builds every configuration and runs every test:
# the host unit tests, the fuzz and valgrind runs, the Wine scenarios (label
# "wine") and the long-wait bench, whose figures are printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build-all.sh
echo "== tests"
bench=build/host/bench-wait.txt
rm -f "$bench"
rc=0
ctest --preset host "$@" || rc=$?
if [ -f "$bench" ]; then
  echo "== long-wait bench (figures only, no pass/fail on them)"
  cat "$bench"
fi
exit "$rc"
