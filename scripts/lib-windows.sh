# Sourced by the Windows demo and screenshot scripts: the Windows program and the Linux harness
# that plays its radio, built first when they are missing (packages, cached wxMSW, program).
# Needs $root and $build (the windows preset's folder); sets $harness.
harness=$build/host/tools/vannor-wine-radio

build_windows_program() {
  if [ -x "$build/app/vannor.exe" ] && [ -x "$harness" ]; then return; fi
  bash "$root/scripts/install-deps.sh" --windows
  VANNOR_WIN_DEPS=$(bash "$root/scripts/build-wx-msw.sh")
  export VANNOR_WIN_DEPS
  (cd "$root" && cmake --preset windows >/dev/null &&
    cmake --build --preset windows -j "$(nproc)" --target vannor host_tools)
}
