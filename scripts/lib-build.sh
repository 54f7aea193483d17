# shellcheck shell=bash
# Sourced by the scripts that build: the build steps they share, the test run with a display,
# and the stage timer. Sets $root (the repository) when the caller has not.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

# Every build uses all cores unless VANNOR_JOBS says otherwise.
build_jobs=${VANNOR_JOBS:-$(nproc)}

# build_preset PRESET [TARGET...]: configures with the preset and builds the targets, or all of
# them when none is named.
build_preset() {
  local preset=$1
  shift
  local targets=()
  if [ $# -gt 0 ]; then targets=(--target "$@"); fi
  (cd "$root" && cmake --preset "$preset" >/dev/null &&
    cmake --build --preset "$preset" -j "$build_jobs" "${targets[@]}")
}

# build_programs: the packages, then what the demo and the screenshots start (the program and
# the radio simulator); the tests build when scripts/test.sh runs.
build_programs() {
  bash "$root/scripts/install-deps.sh"
  build_preset default vannor vannor-radio-sim
}

# windows_libraries: the packages of the Windows build, then the cached static libpng, wxMSW and
# GoogleTest; exports VANNOR_WIN_DEPS, which the windows preset reads.
windows_libraries() {
  bash "$root/scripts/install-deps.sh" --windows
  VANNOR_WIN_DEPS=$(bash "$root/scripts/build-wx-msw.sh")
  export VANNOR_WIN_DEPS
}

# runs_32bit_programs: whether this kernel runs a 32-bit x86 program (the Windows build's tests run
# in 32-bit Wine); a kernel built without IA-32 emulation refuses one with "Exec format error".
runs_32bit_programs() {
  local probe status
  probe=$(mktemp)
  printf 'int main(void) { return 0; }\n' | gcc -m32 -x c - -o "$probe" 2>/dev/null &&
    "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  return "$status"
}

# run_ctest ARG...: ctest with ARG...; Wine's windows need an X server, so without a display
# they get a private one.
run_ctest() {
  if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1024x768x24" ctest "$@"
  else
    ctest "$@"
  fi
}

# run_native_ctest ARG...: ctest with ARG..., several tests at once (most of a test's time is
# spent waiting on a line). Each window test starts a private display of its own
# (tests/ui/with-display.sh), so none shares the desktop's or another test's; the tests marked
# to run alone run alone. VANNOR_TEST_JOBS sets how many run at once.
run_native_ctest() {
  env -u DISPLAY -u WAYLAND_DISPLAY ctest -j "${VANNOR_TEST_JOBS:-$((2 * $(nproc)))}" "$@"
}

# The stage timer. `stage NAME COMMAND...` runs the command as a stage of the script and keeps
# its time; `print_stage_times TITLE [STATUS]`, from an EXIT trap, prints every stage's time,
# the one a failure stopped included. STATUS defaults to the status the script ends with.
stage_times=()
stage_name=""
stage_started=0

stage() {
  stage_name=$1
  shift
  echo "=== $stage_name ==="
  stage_started=$(stage_clock)
  "$@"
  stage_times+=("$(stage_time)")
  stage_name=""
}

# Microseconds since the epoch, without a process (the separator follows the locale).
stage_clock() {
  echo "${EPOCHREALTIME/[.,]/}"
}

stage_time() {
  local us=$(($(stage_clock) - stage_started))
  printf '%-36s %5d.%d s' "$stage_name" $((us / 1000000)) $((us % 1000000 / 100000))
}

print_stage_times() {
  local status=${2:-$?}
  if [ -n "$stage_name" ]; then
    stage_times+=("$(stage_time)  (stopped by a failure)")
    stage_name=""
  fi
  echo "=== $1: stage times ==="
  if [ "${#stage_times[@]}" -gt 0 ]; then printf '  %s\n' "${stage_times[@]}"; fi
  if [ "$status" -ne 0 ]; then echo "  (failed, exit status $status)"; fi
}
