#!/usr/bin/env bash
# Installs what is missing, builds Vannor three ways and runs every test:
# under ThreadSanitizer (the threaded tests), under AddressSanitizer + UBSan (all tests),
# and a plain build (all tests), whose Debian packages are then built and checked; then runs
# vannor-cli on Linux's real serial drivers under QEMU (scripts/test-drivers.sh); then
# cross-builds the Windows program and runs its tests under Wine (scripts/build-windows.sh).
# Prints each stage's time at the end. Everything it writes goes into build/, dist/ (both
# ignored by git) or temporary folders: the work tree stays as it was (.ci/run checks that).
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib-build.sh
source scripts/lib-build.sh
trap 'print_stage_times "scripts/test.sh"' EXIT

stage "packages" bash scripts/install-deps.sh

# test_preset PRESET: builds everything with the preset and runs its tests.
test_preset() {
  build_preset "$1"
  cd "build/$1"
  case "$1" in
    # Only the tests that run threads need ThreadSanitizer.
    tsan) run_native_ctest --output-on-failure -L threaded -LE timing --no-tests=ignore ;;
    # Tests that bound CPU time or clocks run only in the plain build.
    asan) run_native_ctest --output-on-failure -LE timing ;;
    *) run_native_ctest --output-on-failure ;;
  esac
  cd "$root"
}

for preset in tsan asan default; do
  stage "$preset build and tests" test_preset "$preset"
done
stage "Debian packages" bash scripts/check-package.sh
stage "real serial drivers" bash scripts/test-drivers.sh
stage "Windows build and tests" bash scripts/build-windows.sh
