#!/bin/bash
# Configures and builds the three configurations: host (core + unit tests),
# win32 (zarnowel.exe) and win64 (zarnowel64.exe).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${ZW_JOBS:-2}
for preset in win32 win64 host; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
