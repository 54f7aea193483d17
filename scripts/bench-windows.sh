#!/usr/bin/env bash
# The Windows program's waits by the clock, under Wine: the quiet wait before a request (meant:
# 4 ms) over ROUNDS writes to a radio quiet until asked, and the limit for a radio that never
# stops talking (meant: 1 s), both through vannor-cli.exe's own link and loop. Prints each
# figure and its ratio to what it is meant to be. Builds what is missing first.
#
#   bash scripts/bench-windows.sh [ROUNDS]     (default 50)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/windows
# A prefix of its own, so that the benchmark and a test run never share a Wine server.
wine_dir=$build/wine-bench
rounds=${1:-50}
# shellcheck source=scripts/lib-windows.sh
source "$root/scripts/lib-windows.sh"

build_windows_program
build_preset windows vannor-quiet-bench
bash "$root/scripts/wine-prefix.sh" "$wine_dir"
bash "$root/scripts/wine-prefix.sh" "$wine_dir" start
trap 'bash "$root/scripts/wine-prefix.sh" "$wine_dir" stop' EXIT

bench=$build/bench/win32/vannor-quiet-bench.exe
"$harness" --wine-dir "$wine_dir" --length 16 -- "$bench" writes "$rounds"
"$harness" --wine-dir "$wine_dir" --flood 0x42 -- "$bench" unasked
