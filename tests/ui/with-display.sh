#!/usr/bin/env bash
# Runs a window test program on the display there is, or, when there is none, on a private
# Xvfb that ends with it. Xvfb picks a free display number itself (-displayfd), so tests that
# run side by side never race for one.
set -u

for arg in "$@"; do
  # Listing the tests needs no display.
  if [ "$arg" = "--gtest_list_tests" ]; then exec "$@"; fi
done
if [ -n "${DISPLAY:-}" ]; then exec "$@"; fi

if ! command -v Xvfb >/dev/null; then
  echo "with-display.sh: no DISPLAY and no Xvfb; run scripts/install-deps.sh" >&2
  exit 2
fi

numberFile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numberFile" 2>/dev/null &
server=$!
cleanup() {
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  rm -f "$numberFile"
}
trap cleanup EXIT

# Xvfb writes the number once it accepts clients.
for _ in $(seq 200); do
  [ -s "$numberFile" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.05
done
display=$(head -n 1 "$numberFile")
if [ -z "$display" ]; then
  echo "with-display.sh: Xvfb did not start" >&2
  exit 2
fi

DISPLAY=":$display" "$@"
