#!/usr/bin/env bash
# Takes pictures of Vannor as a person sees it, on a private Xvfb with a window manager: the
# main window with the completion message and after a finished Update against the radio
# simulator, the About box, and the history dialog over a few records of a bench. Writes PNGs into the folder given (default docs/screenshots).
# Drives the window with the keyboard only, as its tab order allows, through the X server's test
# input (GTK ignores keys sent to a window directly).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/screenshots}")
build="${VANNOR_BUILD_DIR:-$root/build/default}"
# shellcheck source=scripts/lib-display.sh
source "$root/scripts/lib-display.sh"
# shellcheck source=scripts/lib-simulator.sh
source "$root/scripts/lib-simulator.sh"
# shellcheck source=scripts/lib-build.sh
source "$root/scripts/lib-build.sh"

for tool in Xvfb xdotool xwininfo import; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh" >&2; exit 1; }
done
if [ ! -x "$build/app/vannor" ] || [ ! -x "$build/tools/vannor-radio-sim" ]; then
  build_programs
fi
mkdir -p "$out"

work=$(mktemp -d /tmp/vannor-shot-XXXXXX)
sim_pid=""
app_pid=""
cleanup() {
  local status=$?
  if [ "$status" -ne 0 ] && [ -s "$work/vannor.log" ]; then
    echo "Vannor said:" >&2
    cat "$work/vannor.log" >&2
  fi
  for pid in $app_pid $sim_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  stop_private_display
  rm -rf "$work"
}
trap cleanup EXIT

unset DISPLAY
start_private_display
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME"
# A bench's history of the day before, which the Update below adds to.
export VANNOR_HISTORY="$work/history.jsonl"
bash "$root/scripts/lib-history-sample.sh" >"$VANNOR_HISTORY"

image="$work/dsp-image.out"
head -c 2000 /dev/urandom >"$image"
start_simulator "$work/simulator.log" --length 2000

"$build/app/vannor" >"$work/vannor.log" 2>&1 &
app_pid=$!

# Vannor's visible windows, by their class.
windows() {
  xdotool search --onlyvisible --classname vannor 2>/dev/null || true
}

# Waits until a visible window of Vannor's has the title $1 (an extended regular expression),
# at most 20 s; prints its id.
wait_window() {
  local id
  for _ in $(seq 200); do
    for id in $(windows); do
      if xdotool getwindowname "$id" 2>/dev/null | grep -Eq "$1"; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.1
  done
  echo "no window titled '$1' appeared" >&2
  return 1
}

# Whether a visible window of Vannor's has the title $1 now.
window_titled() {
  local id
  for id in $(windows); do
    xdotool getwindowname "$id" 2>/dev/null | grep -Eq "$1" && return 0
  done
  return 1
}

# How many visible windows Vannor has.
window_count() {
  windows | wc -l
}

# A window with its title bar and frame, and whatever lies on top of it, into $2.
shoot() {
  local id=$1 file=$2 frame geometry
  # The window manager's frame is the window's ancestor just below the root.
  frame=$(frame_of "$id")
  geometry=$(xwininfo -id "$frame" | awk '
    /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /Width:/ {w=$NF} /Height:/ {h=$NF}
    END {printf "%dx%d+%d+%d", w, h, x, y}')
  import -window root -crop "$geometry" +repage "$file"
  echo "wrote $file"
}

# The top-level ancestor of window $1: its frame when a window manager reparented it.
frame_of() {
  local id=$1 info
  while info=$(xwininfo -tree -id "$id") && ! grep -q 'Parent window id: .*(the root window)' <<<"$info"; do
    id=$(awk '/Parent window id:/ {print $4}' <<<"$info")
  done
  echo "$id"
}

main=$(wait_window '^Tavix-7$')
xdotool windowactivate --sync "$main" 2>/dev/null || true
sleep 0.5

# End has the focus: Tab to the port list, Tab to Update, Enter presses Update.
xdotool key Tab Tab Return
chooser=$(wait_window '^Open$')
xdotool windowactivate --sync "$chooser" 2>/dev/null || true
sleep 0.5
# Typing a path opens the chooser's location field.
xdotool type --delay 20 "$image"
sleep 0.3
xdotool key Return

# The completion message is the second window; the chooser has gone by then.
for _ in $(seq 300); do
  if [ "$(window_count)" -ge 2 ] && ! window_titled '^Open$'; then
    break
  fi
  sleep 0.1
done
sleep 0.5
shoot "$main" "$out/completion-message.png"
xdotool key Return
for _ in $(seq 100); do
  [ "$(window_count)" -le 1 ] && break
  sleep 0.1
done
sleep 0.5
shoot "$main" "$out/main-window-after-update.png"

# The window's menu from a right click on its face, then its last entry: the About box.
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool mousemove --window "$main" 40 200 click 3
sleep 0.7
shoot "$main" "$out/window-menu.png"
xdotool key Up Return
about=$(wait_window 'Vannor')
sleep 0.7
shoot "$about" "$out/about-box.png"
xdotool key Return
sleep 0.3

# The history entry, above the separator; then Close.
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool mousemove --window "$main" 40 200 click 3
sleep 0.7
xdotool key Up Up Return
history=$(wait_window '^History$')
sleep 1
shoot "$history" "$out/history-dialog.png"
xdotool key Escape
sleep 0.3

# Esc ends Vannor, after its stop sequence.
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key Escape
for _ in $(seq 100); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$app_pid" 2>/dev/null; then
  echo "Vannor did not end on Esc" >&2
  exit 1
fi
app_pid=""
