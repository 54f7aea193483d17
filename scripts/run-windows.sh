#!/usr/bin/env bash
# Starts the Windows program under Wine against the radio simulator, as scripts/run.sh does for
# the Linux one: the simulator (a Linux program, vannor-wine-radio) serves a pseudo-terminal that
# COM1 of the Wine prefix leads to, and a demo image waits in the folder the file dialog opens.
# Without a display, the program runs on a private Xvfb, and this script says how to look at
# it. Builds what is missing first (the packages, the cached wxMSW, the program).
#
#   bash scripts/run-windows.sh [RADIO OPTION]...   options as for vannor-radio-sim
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/windows
# A prefix of its own, so that the demo and a test run never share a Wine server.
wine_dir=$build/wine-demo
# shellcheck source=scripts/lib-windows.sh
source "$root/scripts/lib-windows.sh"
# shellcheck source=scripts/lib-display.sh
source "$root/scripts/lib-display.sh"

build_windows_program
bash "$root/scripts/wine-prefix.sh" "$wine_dir"

demo=$(mktemp -d /tmp/vannor-demo-XXXXXX)
cleanup() {
  bash "$root/scripts/wine-prefix.sh" "$wine_dir" stop
  stop_private_display
  rm -rf "$demo"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# An image for Update to send: 2 KiB of every kind of byte. Wine polls the port's wait about
# every millisecond, so a byte takes a few milliseconds here, not the 0.3 ms of the wire.
head -c 2048 /dev/urandom >"$demo/demo-image.out"

if [ -z "${DISPLAY:-}" ]; then
  # No window manager: Wine draws the windows' frames itself in this prefix.
  start_private_display bare
  cat <<INFO
No display here: Vannor runs on the virtual display $DISPLAY.
  To look at it:   DISPLAY=$DISPLAY import -window root /tmp/vannor.png   (then open the PNG)
  To drive it:     DISPLAY=$DISPLAY xdotool mousemove X Y click 1   (Wine takes mouse clicks)
  To see it live, run this script in a desktop session or over ssh -X.
INFO
fi

cat <<INFO
The simulated radio answers on COM1 of the Wine prefix in $wine_dir.
  Ver Read shows V01.03 and V02.00; Update asks for an image: demo-image.out, in the folder
  the file dialog opens (Z:${demo//\//\\}).
  End, Esc or the close box quit Vannor and this script.
INFO

# The server's own log takes what it says when the far end of a port hangs up.
bash "$root/scripts/wine-prefix.sh" "$wine_dir" start
cd "$demo"
status=0
"$harness" --wine-dir "$wine_dir" --report --timeout 86400 "$@" -- "$build/app/vannor.exe" ||
  status=$?
exit "$status"
