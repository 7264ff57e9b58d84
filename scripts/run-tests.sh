#!/bin/bash
# Installs what is needed, builds every configuration and runs every test:
# the host unit tests, the fuzz and valgrind runs and the Wine tests (label
# "wine"). The long-wait bench is no test: tools/bench/bench-wait.sh. The
# host test preset runs three tests at a time: Wine tests in two slots of
# prefixes of their own (tests/wine/slots.json), the others on the third.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build-all.sh
echo "== tests"
ctest --preset host "$@"
