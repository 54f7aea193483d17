# shellcheck shell=bash
# Sourced by the Windows demo and screenshot scripts: the Windows program and the Linux harness
# that plays its radio, built first when they are missing (packages, cached wxMSW, program).
# Needs $root and $build (the windows preset's folder); sets $harness.
# shellcheck source=scripts/lib-build.sh
source "$root/scripts/lib-build.sh"
harness=$build/host/tools/vannor-wine-radio

build_windows_program() {
  if [ -x "$build/app/vannor.exe" ] && [ -x "$harness" ]; then return; fi
  windows_libraries
  build_preset windows vannor host_tools
}
