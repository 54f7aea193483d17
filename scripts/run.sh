#!/usr/bin/env bash
# Installs what is missing, builds Vannor and starts it: against the simulated radio when no
# real port is mapped.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

if [ -x scripts/run-demo.sh ]; then
  exec bash scripts/run-demo.sh "$@"
fi
echo "Vannor's core is built (build/default); the window comes with a later change."
