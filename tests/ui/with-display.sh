#!/usr/bin/env bash
# Runs a window test program on the display there is, or, when there is none, on a private
# Xvfb of its own that ends with it (no window manager: the tests place and focus windows
# themselves). Tests that run side by side never share or race for a display.
set -u
here=$(cd "$(dirname "$0")" && pwd)

for arg in "$@"; do
  # Listing the tests needs no display.
  if [ "$arg" = "--gtest_list_tests" ]; then exec "$@"; fi
done
if [ -n "${DISPLAY:-}" ]; then exec "$@"; fi

if ! command -v Xvfb >/dev/null; then
  echo "with-display.sh: no DISPLAY and no Xvfb; run scripts/install-deps.sh" >&2
  exit 2
fi
# shellcheck source=scripts/lib-display.sh
source "$here/../../scripts/lib-display.sh"
trap stop_private_display EXIT
start_private_display bare || exit 2

"$@"
