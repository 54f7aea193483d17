# Shared by run-demo.sh and screenshot.sh: a private X display with a window manager, for when
# there is no display or a picture must not depend on the desktop's look. Source it, then call
# start_private_display (with "bare" for no window manager); it sets DISPLAY. Call
# stop_private_display at the end.

private_display_pids=()

start_private_display() {
  local numberFile
  numberFile=$(mktemp)
  # -displayfd: Xvfb picks a free display number and writes it once it accepts clients.
  # Nothing of the caller's output stays with the server: a test runner waits for its pipes.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numberFile" >/dev/null 2>&1 &
  private_display_pids+=($!)
  for _ in $(seq 200); do
    [ -s "$numberFile" ] && break
    sleep 0.05
  done
  local number
  number=$(head -n 1 "$numberFile")
  rm -f "$numberFile"
  if [ -z "$number" ]; then
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$number"
  # A window manager draws the title bars and gives the windows the focus, as on a desktop.
  if [ "${1:-}" != "bare" ] && command -v xfwm4 >/dev/null; then
    xfwm4 --compositor=off >/dev/null 2>&1 &
    private_display_pids+=($!)
  fi
}

stop_private_display() {
  local pid
  for pid in "${private_display_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${private_display_pids[@]}"; do
    # A server can miss the polite request (one that lands just before it goes to sleep with
    # nothing to do, or one that is stopped) and would then hold the caller for ever: after 5 s
    # it is ended for good.
    for _ in $(seq 100); do
      [ "$(process_state "$pid")" = running ] || break
      sleep 0.05
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  private_display_pids=()
}

# process_state PID: "running" while PID lives (stopped included), "ended" once it has exited,
# waited for or not.
process_state() {
  local state
  state=$(cut -d ' ' -f 3 "/proc/$1/stat" 2>/dev/null) || state=Z
  case "$state" in
    Z | X | "") echo ended ;;
    *) echo running ;;
  esac
}
