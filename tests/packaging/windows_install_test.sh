#!/usr/bin/env bash
# The Windows installer under Wine, silently, both ways a Windows user installs: for all users
# (Program Files, the all-users Start menu, HKLM) and for the user alone (%LOCALAPPDATA%\Programs,
# the user's Start menu, HKCU). Each time: the installed files, the Start-menu entry and the
# entry in the list of installed programs are there, and the silent uninstaller removes them.
#
#   windows_install_test.sh WINE SETUP      WINE: the test prefix's wrapper (scripts/wine-prefix.sh)
set -euo pipefail
wine=$1
setup=$2
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# A Windows folder of the prefix as a Unix path.
unix_path() {
  "$wine" winepath -u "$1" 2>/dev/null | tr -d '\r'
}

# The value of a Windows environment variable in the prefix.
windows_env() {
  "$wine" cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'
}

# Waits up to 60 s for a path to be gone: the uninstaller copies itself elsewhere and runs from
# there, after the command that started it has returned.
wait_gone() {
  for _ in $(seq 600); do
    [ -e "$1" ] || return 0
    sleep 0.1
  done
  return 1
}

registered() {
  "$wine" reg query "$1\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vannor" \
    /v DisplayName >/dev/null 2>&1
}

# check MODE ROOT_KEY INSTALL_DIR START_MENU_PROGRAMS
check() {
  local mode=$1 root=$2 dir=$3 menu=$4
  echo "=== install for $mode ==="
  rm -rf "$dir"
  "$wine" "$setup" /S "/$mode"
  for file in vannor.exe vannor-cli.exe README-windows.txt uninstall.exe; do
    [ -f "$dir/$file" ] || fail "$mode: $dir/$file was not installed"
  done
  cmp -s "$dir/vannor.exe" "$(dirname "$setup")/vannor.exe" || fail "$mode: vannor.exe differs"
  for link in Vannor.lnk "Vannor command prompt.lnk"; do
    [ -f "$menu/$link" ] || fail "$mode: no Start-menu entry $menu/$link"
  done
  registered "$root" || fail "$mode: not in $root's list of installed programs"

  echo "=== uninstall for $mode ==="
  "$wine" "$dir/uninstall.exe" /S "/$mode"
  wait_gone "$dir/uninstall.exe" || fail "$mode: the uninstaller left $dir/uninstall.exe"
  wait_gone "$dir" || fail "$mode: the uninstaller left the folder $dir"
  for link in Vannor.lnk "Vannor command prompt.lnk"; do
    [ ! -e "$menu/$link" ] || fail "$mode: the Start-menu entry $link is still there"
  done
  ! registered "$root" || fail "$mode: still in $root's list of installed programs"
}

programs=$(unix_path "$(windows_env ProgramFiles)")
local_programs=$(unix_path "$(windows_env LOCALAPPDATA)\\Programs")
common_menu=$(unix_path "$(windows_env ProgramData)\\Microsoft\\Windows\\Start Menu\\Programs")
user_menu=$(unix_path "$(windows_env APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs")
if [ -z "$programs" ] || [ -z "$local_programs" ] || [ -z "$common_menu" ] || [ -z "$user_menu" ]; then
  echo "FAIL: the prefix's folders are unknown" >&2
  exit 1
fi

check AllUsers HKLM "$programs/Vannor" "$common_menu"
check CurrentUser HKCU "$local_programs/Vannor" "$user_menu"

if [ "$failures" -gt 0 ]; then
  echo "$failures failures" >&2
  exit 1
fi
echo "installer: both modes install and uninstall cleanly"
