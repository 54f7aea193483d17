#!/usr/bin/env bash
# Installs what is missing, builds Vannor and the radio simulator and starts Vannor against the
# simulated radio. Only what it starts is built: the tests build when scripts/test.sh runs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target vannor vannor-radio-sim
exec bash scripts/run-demo.sh "$@"
