#!/usr/bin/env bash
# Builds and runs vannor-history-bench: the history dialog opening on a history of 100,000
# records (half of them in the older file), on a private Xvfb when there is no display. Prints
# the time to the first rows, the time until every line is read, and the memory grown.
#
#   bash scripts/bench-history.sh [RECORDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/lib-build.sh
source "$root/scripts/lib-build.sh"
build_preset default vannor-history-bench
bash tests/ui/with-display.sh build/default/bench/vannor-history-bench "${1:-100000}"
