#!/bin/bash
# Installs what is needed, builds every configuration and runs every test:
# the host unit tests and the Wine scenarios (label "wine").
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build-all.sh
echo "== tests"
ctest --preset host "$@"
