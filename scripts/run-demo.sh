#!/usr/bin/env bash
# Starts Vannor against the radio simulator, so that Update and Ver Read work with no hardware:
# the simulator serves a pseudo-terminal that COM1 leads to in a temporary config folder, and a
# demo image waits beside it. Without a display, Vannor runs on a private Xvfb, and this script
# says how to look at it. Ends the simulator (and the display) when Vannor ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${VANNOR_BUILD_DIR:-$root/build/default}"
# shellcheck source=scripts/lib-display.sh
source "$root/scripts/lib-display.sh"
# shellcheck source=scripts/lib-simulator.sh
source "$root/scripts/lib-simulator.sh"

if [ ! -x "$build/app/vannor" ] || [ ! -x "$build/tools/vannor-radio-sim" ]; then
  bash "$root/scripts/install-deps.sh"
  (cd "$root" && cmake --preset default >/dev/null && cmake --build --preset default -j "$(nproc)")
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
start_simulator "$demo/simulator.log"

# An image for Update to send: 4 KiB of every kind of byte.
image="$demo/demo-image.out"
head -c 4096 /dev/urandom >"$image"

if [ -z "${DISPLAY:-}" ]; then
  start_private_display
  cat <<INFO
No display here: Vannor runs on the virtual display $DISPLAY.
  To look at it:   DISPLAY=$DISPLAY import -window root /tmp/vannor.png   (then open the PNG)
  To drive it:     DISPLAY=$DISPLAY xdotool key Tab Tab Return   (Tab to Update, press it)
  To see it live, run this script in a desktop session or over ssh -X.
INFO
fi

cat <<INFO
The simulated radio answers on COM1 ($(head -n 1 "$demo/simulator.log")).
  Ver Read shows V01.03 and V02.00; Update asks for an image: try $image
  End, Esc or the close box quit Vannor and this script.
INFO

status=0
"$build/app/vannor" || status=$?
exit "$status"
