#!/usr/bin/env bash
# Cross-builds the Windows program and its tests on this machine, packages it and runs the tests
# under Wine: installs what is missing (install-deps.sh --windows), builds the cached libpng,
# wxMSW and GoogleTest (build-wx-msw.sh), readies the test prefix (wine-prefix.sh), then
# configures, builds and tests with the "windows" preset (on a private Xvfb when there is no
# display). Leaves in dist/ (ignored by git; the downloads are made, never kept): vannor.exe,
# vannor-cli.exe, vannor-<version>-windows.zip and the installer vannor-<version>-setup.exe.
# Prints the time of each stage at the end.
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
# shellcheck source=scripts/lib-build.sh
source scripts/lib-build.sh

wine_dir=build/windows/wine
# Wine runs the 32-bit programs only on a kernel that runs 32-bit code at all; some are built
# without it. There the programs are still built, packaged and checked, but no test can run them.
wine_runs=1
runs_32bit_programs || wine_runs=0
finish() {
  local status=$?
  if [ "$wine_runs" = 1 ]; then bash scripts/wine-prefix.sh "$wine_dir" stop; fi
  print_stage_times "scripts/build-windows.sh" "$status"
}
trap finish EXIT

stage "packages, libpng, wxMSW, GoogleTest" windows_libraries
if [ "$wine_runs" = 1 ]; then stage "Wine prefix" bash scripts/wine-prefix.sh "$wine_dir"; fi
stage "configure, build and package" build_preset windows

# The downloads into dist/, where no download of an earlier build is left beside them.
dist() {
  mkdir -p dist
  rm -f dist/vannor.exe dist/vannor-cli.exe dist/vannor-*-windows.zip dist/vannor-*-setup.exe
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

if [ "$wine_runs" = 0 ]; then
  echo "build-windows: this kernel cannot run 32-bit programs (Exec format error), so Wine cannot" >&2
  echo "build-windows: run the Windows build here: its tests were NOT run" >&2
  exit 0
fi
# One wineserver for the whole run: without it every test waits for Wine to start and stop.
bash scripts/wine-prefix.sh "$wine_dir" start
stage "tests under Wine" run_ctest --preset windows
