#!/usr/bin/env bash
# Builds and runs both transfer benchmarks: vannor-bench (bare loop, headless link, vannor-cli's
# link, the pyserial loop, paced lines, four radios, idle cost) and vannor-window-bench (bare
# loop, headless link and the real window in one run). The window one gets a private Xvfb when
# there is no display. Each figure is printed beside its target; a missed target is reported,
# never a failure.
#
#   bash scripts/bench.sh [--length N] [--rounds N] [--paced-length N] [--paced-rounds N]
#
# All options go to vannor-bench; --length and --rounds also go to vannor-window-bench.
# They are built with the default preset (build/default): an optimised build without sanitizers,
# the only one whose figures are worth comparing. BEFORE_BUILD, the build folder of an earlier
# commit, runs that build's two benchmarks too, each right after ours with the same options, so
# that before and after come from the same session (absolute times drift with the machine's
# load and sleep states; the ratios are what compare). For instance:
#   git worktree add /tmp/old <commit>
#   cmake -S /tmp/old -B /tmp/old/build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANNOR_BUILD_UI=ON \
#     -DBUILD_TESTING=ON && cmake --build /tmp/old/build -j2 --target vannor-bench vannor-window-bench
#   BEFORE_BUILD=/tmp/old/build bash scripts/bench.sh --length 20000 --rounds 5 --paced-rounds 1
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib-build.sh
source scripts/lib-build.sh

build=build/default
before=${BEFORE_BUILD:-}
bash scripts/install-deps.sh
build_preset default vannor-bench vannor-window-bench

window_options=()
args=("$@")
for ((i = 0; i + 1 < ${#args[@]}; i += 2)); do
  case "${args[i]}" in
    --length | --rounds) window_options+=("${args[i]}" "${args[i + 1]}") ;;
  esac
done

run_pair() {  # <label> <program> [options...]: ours, then the earlier build's, when given
  local label=$1 program=$2
  shift 2
  echo "== $label: this build ($build)"
  "$@" "$build/bench/$program" "${options[@]}"
  if [ -n "$before" ]; then
    echo
    echo "== $label: before ($before)"
    "$@" "$before/bench/$program" "${options[@]}"
  fi
  echo
}

options=("$@")
run_pair vannor-bench vannor-bench
# with-display.sh runs the program on the display there is, or on a private bare Xvfb.
options=(${window_options[@]+"${window_options[@]}"})
run_pair vannor-window-bench vannor-window-bench bash tests/ui/with-display.sh
