#!/usr/bin/env bash
# Installs what is missing, builds Vannor and the radio simulator and starts Vannor against the
# simulated radio. Only what it starts is built: the tests build when scripts/test.sh runs.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib-build.sh
source scripts/lib-build.sh

build_programs
exec bash scripts/run-demo.sh "$@"
