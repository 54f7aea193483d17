#!/usr/bin/env bash
# The Windows line's request for a 1-byte receive trigger, in Wine's trace of its serial calls:
# made once for an open, on the handle just opened, after the port's configuration; and refused
# by Wine's driver, as by a USB adapter's, with nothing else changed: the line's own test of an
# open (raw settings, held exclusively, everything put back at close) passes with it.
#
#   fifo_request_test.sh VANNOR_WINE_RADIO WINE_DIR WINE_LINE_TESTS_EXE
set -u
radio=$1 wine_dir=$2 tests=$3

trace=$(mktemp /tmp/vannor-fifo-trace-XXXXXX)
trap 'rm -f "$trace"' EXIT
WINEDEBUG=trace+comm "$radio" --wine-dir "$wine_dir" -- "$tests" \
  --gtest_filter=WineLine.OpensRawAndPutsTheSettingsBack 2>"$trace"
status=$?

# "<handle> <request>" for each serial request, in order.
calls=$(sed -n 's/.*:trace:comm:[a-zA-Z_]* \([^ ]*\) \(IOCTL_SERIAL_[A-Z_]*\) .*/\1 \2/p' "$trace")
requests=$(grep -c ' IOCTL_SERIAL_SET_FIFO_CONTROL$' <<<"$calls")
before=$(grep -B1 ' IOCTL_SERIAL_SET_FIFO_CONTROL$' <<<"$calls" | head -n 1)
request=$(grep -m1 ' IOCTL_SERIAL_SET_FIFO_CONTROL$' <<<"$calls")
failed=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "pass  $what"
  else
    echo "FAIL  $what"
    failed=1
  fi
}
check "the line's test of an open passes with the request refused (exit $status)" \
  test "$status" -eq 0
check "one request for the one open (made $requests)" test "$requests" -eq 1
# SetCommMask(EV_RXCHAR) is the open's last step.
check "made on the opened handle after its configuration ($before, then $request)" \
  test "$before" = "${request%% *} IOCTL_SERIAL_SET_WAIT_MASK"
check "refused by Wine's driver" grep -q 'Unsupported IOCTL 1b009c' "$trace"
if [ "$failed" -ne 0 ]; then
  echo "--- the serial requests in Wine's trace:"
  echo "$calls"
fi
exit "$failed"
