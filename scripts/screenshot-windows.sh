#!/usr/bin/env bash
# Takes pictures of the Windows program under Wine as a person sees it, on a private Xvfb: the
# main window after a finished Update against the radio simulator, its system menu open with
# the COM ports, history and About entries, the COM ports dialog, the history dialog over a few
# records of a bench, and the About box. Writes PNGs
# into the folder given (default docs/screenshots). Drives the window as a person would: a click on its caption, then the keys
# of its tab order (Wine takes keys once one of its windows has been clicked), and the file
# dialog's name field. Builds what is missing first, as run-windows.sh does.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/screenshots}")
build=$root/build/windows
wine_dir=$build/wine-demo
# shellcheck source=scripts/lib-windows.sh
source "$root/scripts/lib-windows.sh"
# shellcheck source=scripts/lib-display.sh
source "$root/scripts/lib-display.sh"

for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh" >&2; exit 1; }
done
build_windows_program
bash "$root/scripts/wine-prefix.sh" "$wine_dir"
mkdir -p "$out"

work=$(mktemp -d /tmp/vannor-shot-XXXXXX)
app_pid=""
cleanup() {
  local status=$?
  if [ "$status" -ne 0 ] && [ -s "$work/run.log" ]; then
    echo "The program and the radio said:" >&2
    cat "$work/run.log" >&2
  fi
  if [ -n "$app_pid" ]; then
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
  fi
  bash "$root/scripts/wine-prefix.sh" "$wine_dir" stop
  stop_private_display
  rm -rf "$work"
}
trap cleanup EXIT

unset DISPLAY
start_private_display bare
bash "$root/scripts/wine-prefix.sh" "$wine_dir" start

image="$work/dsp-image.out"
head -c 2000 /dev/urandom >"$image"
# A bench's history of the day before, which the Update below adds to; Wine hands the variable on.
bash "$root/scripts/lib-history-sample.sh" >"$work/history.jsonl"
export VANNOR_HISTORY="Z:${work//\//\\}\\history.jsonl"
"$harness" --wine-dir "$wine_dir" --report --length 2000 --timeout 600 \
  -- "$build/app/vannor.exe" >"$work/run.log" 2>&1 &
app_pid=$!

# Waits until a visible window has the title $1 (an extended regular expression), at most
# 30 s; prints its id.
wait_window() {
  local id
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  echo "no window titled $1 appeared" >&2
  return 1
}

# Waits until the radio has said $1 (a fixed string), at most 60 s.
wait_radio() {
  for _ in $(seq 600); do
    grep -qF "$1" "$work/run.log" && return 0
    sleep 0.1
  done
  echo "the radio never said: $1" >&2
  return 1
}

main=$(wait_window '^Tavix-7$')
eval "$(xdotool getwindowgeometry --shell "$main")"
# The caption, away from its icon and its close box, gives the window the keyboard.
xdotool mousemove $((X + WIDTH / 2)) $((Y + 8)) click 1
sleep 0.5
# End has the focus; Ver Read is last in the tab order, Update five before it.
xdotool key shift+Tab space
wait_radio "version read answered"
xdotool key shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab Return
wait_window '^Open$' >/dev/null
sleep 0.5
# The name field has the focus.
xdotool type --delay 10 "Z:${image//\//\\}"
xdotool key Return
wait_radio "image ended after 2000 bytes"
# " Completion !!! " comes with the last echo, its OK button has the focus.
sleep 1
xdotool key Return
sleep 1

eval "$(xdotool getwindowgeometry --shell "$main")"
crop="${WIDTH}x${HEIGHT}+${X}+${Y}"
import -window root -crop "$crop" +repage "$out/windows-main-window-after-update.png"
# The system menu from the icon at the left of the caption.
xdotool mousemove $((X + 12)) $((Y + 10)) click 1
sleep 1
import -window root -crop "$crop" +repage "$out/windows-system-menu.png"
# Two entries above the separator, the COM ports dialog; then Cancel.
xdotool key Up Up Up Return
links=$(wait_window '^COM ')
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$links")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/windows-com-ports-dialog.png"
xdotool key Escape
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 12)) $((Y + 10)) click 1
sleep 1
# The entry above the separator, the history dialog; then Close.
xdotool key Up Up Return
history=$(wait_window '^History$')
sleep 1
eval "$(xdotool getwindowgeometry --shell "$history")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/windows-history-dialog.png"
xdotool key Escape
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 12)) $((Y + 10)) click 1
sleep 1
# Its last entry, the About box; then OK and End.
xdotool key Up Return
about=$(wait_window 'Vannor')
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$about")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/windows-about-box.png"
xdotool key Return
sleep 0.5
xdotool key Escape
wait "$app_pid" || true
app_pid=""
echo "Wrote $out/windows-main-window-after-update.png, windows-system-menu.png,"
echo "  windows-com-ports-dialog.png, windows-history-dialog.png, windows-about-box.png"
