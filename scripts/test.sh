#!/usr/bin/env bash
# Installs what is missing, builds Vannor three ways and runs every test:
# under ThreadSanitizer (the threaded tests), under AddressSanitizer + UBSan (all tests),
# and a plain build (all tests), whose Debian packages are then built and checked; then runs
# vannor-cli on Linux's real serial drivers under QEMU (scripts/test-drivers.sh); then
# cross-builds the Windows program and runs its tests under Wine (scripts/build-windows.sh).
# Prints each stage's time at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

started=$(date +%s)
times=()
took() { times+=("$(printf '%-10s %5d s' "$1" $(($(date +%s) - started)))"); started=$(date +%s); }
trap 'printf "=== stage times ===\n"; printf "  %s\n" "${times[@]}"' EXIT

bash scripts/install-deps.sh
took packages

jobs=$(nproc)
run_ctest() {
  # The window tests need an X server; without a display they get a virtual one.
  if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1024x768x24" ctest "$@"
  else
    ctest "$@"
  fi
}

for preset in tsan asan default; do
  echo "=== $preset build ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  if [ "$preset" = tsan ]; then
    # Only the tests that run threads need ThreadSanitizer.
    (cd "build/$preset" && run_ctest --output-on-failure -L threaded -LE timing --no-tests=ignore)
  elif [ "$preset" = asan ]; then
    # Tests that bound CPU time or clocks run only in the plain build.
    (cd "build/$preset" && run_ctest --output-on-failure -LE timing)
  else
    (cd "build/$preset" && run_ctest --output-on-failure)
  fi
  took "$preset"
done

echo "=== Debian packages ==="
bash scripts/check-package.sh
took debian

echo "=== real serial drivers ==="
bash scripts/test-drivers.sh
took drivers

echo "=== windows build ==="
bash scripts/build-windows.sh
took windows
