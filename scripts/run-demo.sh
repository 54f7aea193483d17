#!/usr/bin/env bash
# Starts Vannor against the radio simulator, so that Update and Ver Read work with no hardware:
# the simulator serves a pseudo-terminal that COM1 leads to in a temporary config folder, and a
# demo image waits beside it. Without a display, Vannor runs on a private Xvfb, and this script
# says how to look at it and drive it. Holds the terminal until Vannor ends, then ends the
# simulator (and the display); the simulator's log stays in the build folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${VANNOR_BUILD_DIR:-$root/build/default}"
# shellcheck source=scripts/lib-display.sh
source "$root/scripts/lib-display.sh"
# shellcheck source=scripts/lib-simulator.sh
source "$root/scripts/lib-simulator.sh"
# shellcheck source=scripts/lib-build.sh
source "$root/scripts/lib-build.sh"

if [ ! -x "$build/app/vannor" ] || [ ! -x "$build/tools/vannor-radio-sim" ]; then
  build_programs
fi

demo=$(mktemp -d /tmp/vannor-demo-XXXXXX)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  stop_private_display
  rm -rf "$demo"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export XDG_CONFIG_HOME="$demo/config"
mkdir -p "$XDG_CONFIG_HOME"
sim_log="$build/vannor-radio-sim.log"
start_simulator "$sim_log"

# An image for Update to send: 4 KiB of every kind of byte.
image="$demo/demo-image.out"
head -c 4096 /dev/urandom >"$image"

cat <<INFO
Vannor runs against the simulated radio on COM1 ($(head -n 1 "$sim_log")).
This script holds this terminal until Vannor ends; type any command below in a second shell.
  Ver Read: press it first: it is accepted only as the first request of a run (to read
            again, end Vannor and run this script again). The labels show V01.03 and V02.00.
  Update:   leave a Write box ticked, press Update and choose $image
            The bar runs to 100 and " Completion !!! " follows.
  The simulated radio logs every request to $sim_log
  (follow it with: tail -f $sim_log).
  End, Esc or the close box quit Vannor and this script.
INFO

if [ -z "${DISPLAY:-}" ]; then
  start_private_display
  # End has the focus at start; the tab order is End, port list, Update, the four boxes, Ver
  # Read, so Shift+Tab reaches Ver Read and Tab Tab reaches Update (from Ver Read: Tab Tab Tab).
  cat <<INFO
No display here: Vannor runs on the virtual display $DISPLAY. From a second shell:
  Look at it:  DISPLAY=$DISPLAY import -window root /tmp/vannor.png   (then open the PNG)
  Ver Read:    DISPLAY=$DISPLAY xdotool key shift+Tab Return   (right after the start)
  Update:      DISPLAY=$DISPLAY xdotool key Tab Tab Return   (Tab Tab Tab after Ver Read), then
               DISPLAY=$DISPLAY xdotool type $image
               DISPLAY=$DISPLAY xdotool key Return   (chooses the file; again to close the message)
  Quit:        DISPLAY=$DISPLAY xdotool key Escape
  To see it live, run this script in a desktop session or over ssh -X.
INFO
fi

status=0
"$build/app/vannor" || status=$?
echo "The simulated radio's log stays in $sim_log"
exit "$status"
