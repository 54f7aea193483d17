#!/usr/bin/env bash
# Cross-builds the Windows program and its tests on this machine, packages it and runs the tests
# under Wine: installs what is missing (install-deps.sh --windows), builds the cached libpng,
# wxMSW and GoogleTest (build-wx-msw.sh), readies the test prefix (wine-prefix.sh), then
# configures, builds and tests with the "windows" preset (on a private Xvfb when there is no
# display). Leaves in dist/: vannor.exe, vannor-cli.exe, vannor-<version>-windows.zip and the
# installer vannor-<version>-setup.exe. Prints the time of each stage at the end.
#
#   bash scripts/build-windows.sh
#
# Build folder build/windows, Wine prefix build/windows/wine. By hand afterwards:
#   export VANNOR_WIN_DEPS=$(bash scripts/build-wx-msw.sh)
#   cmake --preset windows && cmake --build --preset windows -j2
#   bash scripts/wine-prefix.sh build/windows/wine start
#   xvfb-run -a ctest --preset windows
#   bash scripts/wine-prefix.sh build/windows/wine stop
set -euo pipefail
cd "$(dirname "$0")/.."

wine_dir=build/windows/wine
stages=()
summary() {
  local status=$?
  bash scripts/wine-prefix.sh "$wine_dir" stop
  echo "=== Windows build: stage times ==="
  printf '  %s\n' "${stages[@]}"
  [ "$status" -eq 0 ] || echo "  (stopped by a failure, exit status $status)"
}
trap summary EXIT

# stage NAME COMMAND...: runs the command and records how long it took.
stage() {
  local name=$1 start
  shift
  echo "=== $name ==="
  start=$(date +%s.%N)
  "$@"
  stages+=("$(awk -v a="$start" -v b="$(date +%s.%N)" -v n="$name" \
    'BEGIN { printf "%-28s %7.1f s", n, b - a }')")
}

stage "packages" bash scripts/install-deps.sh --windows
cache_libraries() {
  VANNOR_WIN_DEPS=$(bash scripts/build-wx-msw.sh)
  export VANNOR_WIN_DEPS
}
stage "libpng, wxMSW, GoogleTest" cache_libraries
stage "Wine prefix" bash scripts/wine-prefix.sh "$wine_dir"
stage "configure" cmake --preset windows
stage "build and package" cmake --build --preset windows -j "$(nproc)"

dist() {
  mkdir -p dist
  local file exe
  for file in build/windows/dist/vannor.exe build/windows/dist/vannor-cli.exe \
    build/windows/dist/vannor-*-windows.zip build/windows/dist/vannor-*-setup.exe; do
    cp "$file" dist/
    printf '  %-34s %9d bytes\n' "dist/$(basename "$file")" "$(stat -c %s "$file")"
  done
  # Linked statically: the programs must run on a bare Windows, so they may import only
  # Windows' own DLLs, never a runtime of the compiler's (libstdc++, libgcc, winpthread).
  local imports dll
  for exe in dist/vannor.exe dist/vannor-cli.exe; do
    file "$exe"
    imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p')
    echo "  $exe imports: $(echo "$imports" | tr '\n' ' ')"
    for dll in $imports; do
      case "${dll,,}" in
        advapi32.dll | comctl32.dll | comdlg32.dll | gdi32.dll | kernel32.dll | msvcrt.dll | \
          ole32.dll | oleaut32.dll | rpcrt4.dll | setupapi.dll | shell32.dll | shlwapi.dll | \
          user32.dll | uxtheme.dll | version.dll | winmm.dll | winspool.drv | ws2_32.dll) ;;
        *)
          echo "build-windows: $exe imports $dll, which Windows does not have" >&2
          return 1
          ;;
      esac
    done
  done
}
stage "dist" dist

# One wineserver for the whole run: without it every test waits for Wine to start and stop.
bash scripts/wine-prefix.sh "$wine_dir" start
if [ -z "${DISPLAY:-}" ]; then
  stage "tests under Wine" xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset windows
else
  stage "tests under Wine" ctest --preset windows
fi
