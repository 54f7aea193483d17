#!/usr/bin/env bash
# Builds and runs both transfer benchmarks: vannor-bench (bare loop, headless full link, the
# paced line) and vannor-window-bench (bare loop, headless full link and the real window in one
# run). The window one gets a private Xvfb when there is no display.
#
#   bash scripts/bench.sh [--length N] [--rounds N]
#
# The options go to both programs. They are built with the default preset (build/default): an
# optimised build without sanitizers, with the window and the test kit, the only one whose
# figures are worth comparing.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib-build.sh
source scripts/lib-build.sh

build=build/default
bash scripts/install-deps.sh
build_preset default vannor-bench vannor-window-bench

"$build/bench/vannor-bench" "$@"
echo
# with-display.sh runs the program on the display there is, or on a private bare Xvfb.
bash tests/ui/with-display.sh "$build/bench/vannor-window-bench" "$@"
