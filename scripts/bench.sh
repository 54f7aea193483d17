#!/usr/bin/env bash
# Builds and runs both transfer benchmarks: vannor-bench (bare loop, headless full link, the
# paced line) and vannor-window-bench (bare loop, headless full link and the real window in one
# run). The window one gets a private Xvfb when there is no display.
#
#   bash scripts/bench.sh [--length N] [--rounds N]
#
# The options go to both programs. BUILD_DIR (default build/default) is the build used; the
# figures are only worth comparing from an optimised build without sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build/default}
bash scripts/install-deps.sh
# The window benchmark needs the window and the test kit, whatever an earlier configure chose.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake -S . -B "$build" -DVANNOR_BUILD_UI=ON -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target vannor-bench vannor-window-bench

"$build/bench/vannor-bench" "$@"
echo
# with-display.sh runs the program on the display there is, or on a private bare Xvfb.
bash tests/ui/with-display.sh "$build/bench/vannor-window-bench" "$@"
