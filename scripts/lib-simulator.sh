# Shared by run-demo.sh and screenshot.sh: the radio simulator on a pseudo-terminal that "COM1"
# leads to in $XDG_CONFIG_HOME. Source it, then call start_simulator LOG [simulator options...];
# it sets sim_pid and returns once the tool can reach the simulator, or fails with its log.

start_simulator() {
  local log=$1
  shift
  # Not quiet: the log tells every request the radio answered, after the line's path.
  "$build/tools/vannor-radio-sim" --config-home "$XDG_CONFIG_HOME" --com 1 "$@" >"$log" 2>&1 &
  sim_pid=$!
  local link="$XDG_CONFIG_HOME/vannor/ports/COM1"
  for _ in $(seq 100); do
    # The link comes a moment before the log's first line (the line's path) is flushed.
    [ -L "$link" ] && [ -s "$log" ] && return 0
    sleep 0.05
  done
  echo "The radio simulator did not start:" >&2
  cat "$log" >&2
  return 1
}
