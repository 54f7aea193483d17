# Shared by run-demo.sh and screenshot.sh: the radio simulator on a pseudo-terminal that "COM1"
# leads to in $XDG_CONFIG_HOME. Source it, then call start_simulator LOG [simulator options...];
# it sets sim_pid and returns once the tool can reach the simulator, or fails with its log.

start_simulator() {
  local log=$1
  shift
  "$build/tools/vannor-radio-sim" --config-home "$XDG_CONFIG_HOME" --com 1 --quiet "$@" \
    >"$log" 2>&1 &
  sim_pid=$!
  local link="$XDG_CONFIG_HOME/vannor/ports/COM1"
  for _ in $(seq 100); do
    [ -L "$link" ] && return 0
    sleep 0.05
  done
  echo "The radio simulator did not start:" >&2
  cat "$log" >&2
  return 1
}
