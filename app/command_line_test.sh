#!/bin/sh
# vannor's command line as a shell user meets it, with no display: --help and --version answer
# and end with 0, anything else ends with the usage and 2, and an answer that could not be
# written is no success.
#   command_line_test.sh PROGRAM VERSION
set -u
program=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# expect STATUS OUT ERR ARG...: the exit status, and a line that standard output and standard
# error each must hold ("" for a stream that must stay empty).
expect() {
  status=$1 out=$2 err=$3
  shift 3
  timeout 20 env -u DISPLAY -u WAYLAND_DISPLAY "$program" "$@" >"$work/out" 2>"$work/err"
  got=$?
  ok=1
  [ "$got" -eq "$status" ] || ok=0
  for stream in out err; do
    eval "line=\$$stream"
    if [ -z "$line" ]; then
      [ -s "$work/$stream" ] && ok=0
    else
      grep -qxF -- "$line" "$work/$stream" || ok=0
    fi
  done
  if [ "$ok" -eq 0 ]; then
    failures=$((failures + 1))
    echo "FAIL: vannor $* ended with $got (want $status)"
    echo "--- standard output (want a line '$out'):"; cat "$work/out"
    echo "--- standard error (want a line '$err'):"; cat "$work/err"
  fi
}

usage="Usage: vannor [OPTION]"
expect 0 "$usage" "" --help
expect 0 "$usage" "" -h
expect 0 "vannor $version" "" --version
# The first answer decides, as with the GNU tools.
expect 0 "$usage" "" --help --no-such-option
expect 2 "" "vannor: unknown option '--no-such-option'" --no-such-option --help
expect 2 "" "$usage" --no-such-option
# The toolkit's own options are not passed on: the window takes none.
expect 2 "" "vannor: unknown option '--display=:0'" --display=:0
expect 2 "" "vannor: unexpected argument 'image.out'" image.out
expect 2 "" "vannor: unexpected argument 'image.out'" -- image.out

# A full disk: the version never arrives, so the status must say so.
if [ -w /dev/full ]; then
  env -u DISPLAY "$program" --version >/dev/full 2>"$work/err"
  got=$?
  if [ "$got" -ne 1 ] || ! grep -q "^vannor: cannot write: " "$work/err"; then
    failures=$((failures + 1))
    echo "FAIL: vannor --version >/dev/full ended with $got"; cat "$work/err"
  fi
fi

[ "$failures" -eq 0 ] && echo "command line: all answers as expected"
exit "$((failures > 0))"
