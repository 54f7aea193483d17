#!/usr/bin/env bash
# Puts every Debian package that building, running and testing Vannor needs on this machine.
# Used by the README's commands and by .ci/run, so the list lives only here.
set -euo pipefail

PACKAGES=(
  # build
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev
  # window
  libwxgtk3.2-dev libgtk-3-dev
  fonts-ipafont-gothic fontconfig
  # running the window without a display, screenshots, driving it from outside
  xvfb xauth imagemagick xdotool x11-utils xfwm4 dbus-x11 at-spi2-core
  # packaging
  dpkg-dev file
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
