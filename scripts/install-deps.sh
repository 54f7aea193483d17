#!/usr/bin/env bash
# Puts every Debian package that building, running and testing Vannor needs on this machine.
# Used by the README's commands and by .ci/run, so the list lives only here.
#   bash scripts/install-deps.sh            the Linux build, its tests and packaging
#   bash scripts/install-deps.sh --windows  also the Windows cross-build and Wine to test it
#   bash scripts/install-deps.sh --drivers  also QEMU and busybox for the real-driver stage
#                                           (scripts/test-drivers.sh)
set -euo pipefail

windows=0
drivers=0
for arg in "$@"; do
  case "$arg" in
    --windows) windows=1 ;;
    --drivers) drivers=1 ;;
    *)
      echo "usage: $0 [--windows] [--drivers]" >&2
      exit 2
      ;;
  esac
done

PACKAGES=(
  # build
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev
  # window
  libwxgtk3.2-dev libgtk-3-dev libx11-dev
  fonts-ipafont-gothic fontconfig
  # running the window without a display, screenshots, driving it from outside
  xvfb xauth imagemagick xdotool x11-utils xfwm4 dbus-x11 at-spi2-core
  # packaging: manual pages, and the checks a Debian package must pass
  dpkg-dev file scdoc lintian desktop-file-utils appstream
  # CI's check that a test run leaves the work tree as it found it
  git
  # the benchmark's comparison row: a blocking loop in Python over pyserial
  python3-serial
)

WINDOWS_PACKAGES=(
  # 32-bit Windows cross compiler (posix threads for std::thread and std::mutex), widl and friends,
  # and zlib for the static wxMSW; libpng and wxMSW are built from Debian's source packages
  g++-mingw-w64-i686-posix mingw-w64-tools libz-mingw-w64-dev
  # the installer and the zip for Windows users
  nsis zip
  # running the Windows programs here: 32-bit Wine, its fonts, and the 32-bit build of the test
  # library that Wine loads
  wine wine64 wine32:i386 fonts-wine gcc-multilib
)

DRIVER_PACKAGES=(
  # a PC with a 16550 UART and an FTDI USB adapter, emulated, to boot Debian's kernel in
  qemu-system-x86
  # the guest's whole userland, statically linked, and the cpio that packs it
  busybox-static
  # the guest's udev, which applies the package's rule as a Debian system does
  udev
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

# The deb-src entry that `apt-get source` needs: the same archive, suites and keys as the machine's
# own Debian entries (one-line sources.list entries or deb822 .sources files).
DEB_SRC_FILE=/etc/apt/sources.list.d/vannor-deb-src.sources

write_deb_src() {
  local out
  out=$(mktemp)
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    # "deb [options] URI suite components..." becomes a stanza of its own.
    awk '$1 == "deb" && $0 ~ /debian/ {
      i = 2; signed = ""
      if ($2 ~ /^\[/) {
        for (; i <= NF; i++) {
          if ($i ~ /signed-by=/) { signed = $i; sub(/.*signed-by=/, "", signed); sub(/\]$/, "", signed) }
          if ($i ~ /\]$/) { i++; break }
        }
      }
      printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", $i, $(i + 1)
      for (j = i + 2; j <= NF; j++) printf " %s", $j
      printf "\n"
      if (signed != "") printf "Signed-By: %s\n", signed
      printf "\n"
    }' "$f" >>"$out"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "$f" != "$DEB_SRC_FILE" ] || continue
    # deb822: every stanza that has "deb" but not yet "deb-src" among its Types and names a
    # Debian archive, with deb-src instead; comments dropped, other fields kept.
    awk 'function flush() {
           if (isdeb && isdebian && !hassrc) printf "%s\n", stanza
           stanza = ""; isdeb = 0; isdebian = 0; hassrc = 0
         }
         /^[[:space:]]*$/ { flush(); next }
         /^#/ { next }
         /^Types:/ { for (i = 2; i <= NF; i++) if ($i == "deb") isdeb = 1
                     for (i = 2; i <= NF; i++) if ($i == "deb-src") hassrc = 1
                     stanza = stanza "Types: deb-src\n"; next }
         /^URIs:/ && /debian/ { isdebian = 1 }
         /^Enabled:[[:space:]]*no/ { isdeb = 0 }
         { stanza = stanza $0 "\n" }
         END { flush() }' "$f" >>"$out"
  done
  if [ ! -s "$out" ]; then
    rm -f "$out"
    echo "install-deps: no Debian archive found in /etc/apt/sources.list*" >&2
    return 1
  fi
  $SUDO install -m 644 "$out" "$DEB_SRC_FILE"
  rm -f "$out"
}

needs_update=0
list=("${PACKAGES[@]}")
if [ "$windows" -eq 1 ]; then
  list+=("${WINDOWS_PACKAGES[@]}")
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    needs_update=1
  fi
  if [ ! -f "$DEB_SRC_FILE" ]; then
    write_deb_src
    needs_update=1
  elif ! apt-cache showsrc libpng1.6 >/dev/null 2>&1; then
    needs_update=1  # the entry is there but its index was never fetched
  fi
fi

if [ "$drivers" -eq 1 ]; then list+=("${DRIVER_PACKAGES[@]}"); fi

missing=()
for p in "${list[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -eq 0 ] && [ "$needs_update" -eq 0 ]; then
  exit 0
fi

$SUDO apt-get update
if [ "${#missing[@]}" -gt 0 ]; then
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
