#!/usr/bin/env bash
# A private Wine for running the Windows build's programs and tests on this machine, all of it in
# one folder (DIR): the prefix, the test-only library that makes pseudo-terminals behave as serial
# ports (testing/wine: modem lines, one open at a time), COM port links (all ten lead nowhere
# until mapped), a `wine` wrapper that uses them (CMake takes it as the cross-compiling
# emulator) and a `map-port COMn PATH` command.
#
#   bash scripts/wine-prefix.sh DIR                  create or refresh everything (idempotent)
#   bash scripts/wine-prefix.sh DIR map COMn PATH    "COMn" opens PATH (e.g. a pseudo-terminal's
#                                                    slave); the link DIR/ports/COMn follows PATH
#   bash scripts/wine-prefix.sh DIR start            one persistent wineserver for a test run
#   bash scripts/wine-prefix.sh DIR stop             ends it
#
# Needs `bash scripts/install-deps.sh --windows` first.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

if [ $# -lt 1 ]; then
  sed -n '2,15s/^# \{0,1\}//p' "$0" >&2
  exit 2
fi
mkdir -p "$1"
dir=$(cd "$1" && pwd)
shift

export WINEPREFIX=$dir/prefix
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko (nothing here runs .NET or HTML, and Wine would ask to download them), and no
# menu builder: it would copy the installer's Start-menu entries into the desktop's own menus.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
# A literal $LIB: the loader picks the 32- or 64-bit build for each Wine process (the server is
# 64-bit, the programs 32-bit).
preload="$dir/preload/"'$LIB'"/vannor_pty_serial.so"

# The preload library once per word size, where the loader's $LIB points for each, each checked
# on a pseudo-terminal before use: 32-bit with 64-bit time, as Wine's programs call it, and
# 64-bit, as Wine's server does.
build_preload() {
  local src=$repo/testing/wine bits out check flags
  for bits in 32 64; do
    out=$dir/preload/lib/$(gcc -m$bits -print-multiarch)/vannor_pty_serial.so
    if [ -f "$out" ] && [ -z "$(find "$src" -newer "$out" -name '*.[ch]')" ]; then continue; fi
    mkdir -p "$(dirname "$out")"
    # The library defines both the plain and the 64-bit-time entry points, so it is built
    # without the switch; the check is built with it, as Wine is.
    flags=(-m$bits -std=c11 -O2 -Wall -Wextra -Werror)
    gcc "${flags[@]}" -shared -fPIC -o "$out" "$src/modem_lines.c" "$src/exclusive_open.c" -ldl
    check=$dir/preload/pty_serial_check-$bits
    [ $bits -eq 32 ] && flags+=(-D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64)
    gcc "${flags[@]}" -o "$check" "$src/pty_serial_check.c"
    if ! LD_PRELOAD=$out "$check" >/dev/null; then
      rm -f "$out"
      echo "wine-prefix: the $bits-bit test library fails its check" >&2
      exit 1
    fi
  done
}

write_wrapper() {
  cat >"$dir/wine" <<WRAPPER
#!/bin/sh
# Runs a Windows program in the test prefix (written by scripts/wine-prefix.sh).
export WINEPREFIX='$WINEPREFIX' WINEARCH=$WINEARCH WINEDLLOVERRIDES='$WINEDLLOVERRIDES'
export WINEDEBUG=\${WINEDEBUG:--all}
export LD_PRELOAD='$preload'\${LD_PRELOAD:+:\$LD_PRELOAD}
exec wine "\$@"
WRAPPER
  cat >"$dir/map-port" <<MAPPORT
#!/bin/sh
# Usage: map-port COMn PATH. "COMn" of the test prefix opens PATH (written by
# scripts/wine-prefix.sh).
exec bash '$repo/scripts/wine-prefix.sh' '$dir' map "\$@"
MAPPORT
  chmod +x "$dir/wine" "$dir/map-port"
}

# A .reg file with non-ASCII names must be UTF-16 with a byte-order mark.
reg_file() {
  local out=$1
  shift
  { printf '\xff\xfe'; printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' "$@" |
    iconv -f UTF-8 -t UTF-16LE; } >"$out"
}

# Without a window manager (Xvfb in tests): Wine draws the captions itself, and does not wait two
# seconds for a manager at every hide. The dialog's Japanese font is IPAPGothic here, the
# metric-compatible face the Linux build also maps it to; Wine's own UI fonts (menus, captions)
# fall back to "MS UI Gothic" for Japanese, so that name maps to it too, or the system menu's
# About entry shows empty boxes.
SETTINGS=(
  '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Decorated"="N"' '"Managed"="N"' ''
  '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]'
  '"ＭＳ Ｐゴシック"="IPAPGothic"' '"MS PGothic"="IPAPGothic"' '"MS UI Gothic"="IPAPGothic"' ''
)

create_prefix() {
  if [ ! -f "$WINEPREFIX/.vannor-booted" ]; then
    rm -rf "$WINEPREFIX" "$dir/settings.reg"
    wineboot --init >/dev/null 2>&1
    # The caption buttons are Marlett glyphs; without the font they read "0 1 r".
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    touch "$WINEPREFIX/.vannor-booted"
  fi
  # The settings again whenever this script changes them.
  reg_file "$dir/settings.reg.new" "${SETTINGS[@]}"
  if ! cmp -s "$dir/settings.reg.new" "$dir/settings.reg"; then
    wine regedit /S "$dir/settings.reg.new"
    mv "$dir/settings.reg.new" "$dir/settings.reg"
  else
    rm -f "$dir/settings.reg.new"
  fi
}

# map_ports NAME TARGET...: "COMn" opens TARGET through the link DIR/ports/COMn. The registry
# keeps the mapping across Wine's starts (it resets dosdevices from it), so once a port is
# mapped only its link changes; the dosdevices link makes a new mapping hold at once for a
# wineserver that is already running.
map_ports() {
  local name target lower entries=()
  mkdir -p "$dir/ports"
  while [ $# -ge 2 ]; do
    name=$1 target=$2
    shift 2
    if ! [[ "$name" =~ ^COM[1-9][0-9]*$ ]]; then
      echo "wine-prefix: not a COM port name: $name" >&2
      exit 2
    fi
    ln -sfn "$target" "$dir/ports/$name"
    lower=${name,,}
    if [ "$(readlink "$WINEPREFIX/dosdevices/$lower" 2>/dev/null)" != "$dir/ports/$name" ]; then
      entries+=("\"$name\"=\"$dir/ports/$name\"")
      ln -sfn "$dir/ports/$name" "$WINEPREFIX/dosdevices/$lower"
    fi
  done
  if [ "${#entries[@]}" -gt 0 ]; then
    # Not COMn.reg: Windows takes any "COMn.<extension>" for the port itself.
    reg_file "$dir/ports/map.reg" '[HKEY_LOCAL_MACHINE\Software\Wine\Ports]' "${entries[@]}" ''
    wine regedit /S "$dir/ports/map.reg"
  fi
}

# Until a test or the demo maps them, COM1 to COM10 lead to a device that does not exist: Wine
# would otherwise open the machine's own /dev/ttyS0 and on.
unplug_unmapped_ports() {
  local n pairs=()
  for n in 1 2 3 4 5 6 7 8 9 10; do
    [ -L "$dir/ports/COM$n" ] || pairs+=("COM$n" "$dir/ports/unplugged")
  done
  [ "${#pairs[@]}" -eq 0 ] || map_ports "${pairs[@]}"
}

# Every Wine started here loads the library too: a server that one of these commands starts
# lingers for three seconds and serves the next program, and the server is what opens the ports.
case "${1:-}" in
  "")
    build_preload
    write_wrapper
    export LD_PRELOAD=$preload
    create_prefix
    unplug_unmapped_ports
    ;;
  map)
    [ $# -eq 3 ] || { echo "usage: $0 DIR map COMn PATH" >&2; exit 2; }
    export LD_PRELOAD=$preload
    map_ports "$2" "$3"
    ;;
  start)
    # A server still lingering after the last program would refuse to hand over.
    wineserver -k 2>/dev/null || true  # none running is the usual case
    # Its output goes to a log: Wine opens a port without O_NOCTTY, so the first pseudo-terminal
    # it opens becomes the server's controlling terminal, and the hang-up when the far end closes
    # makes it print all its objects.
    export LD_PRELOAD=$preload
    wineserver -p >>"$dir/wineserver.log" 2>&1
    wine cmd /c exit 0  # boots the prefix's services now, not inside the first test
    ;;
  stop)
    wineserver -k 2>/dev/null || true  # none running is the state wanted
    ;;
  *)
    echo "wine-prefix: unknown command $1" >&2
    exit 2
    ;;
esac
