#!/usr/bin/env bash
# vannor-cli's bash completion as bash runs it: the function that `complete` registered for the
# command, given the words of a command line, and what it leaves in COMPREPLY. Asks nothing of
# the machine's serial devices beyond their being paths.
#   bash_completion_test.sh COMPLETION_FILE
set -uo pipefail
file=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# shellcheck source=/dev/null
source "$file" || { echo "FAILED: $file does not load"; exit 1; }
registered=$(complete -p vannor-cli 2>/dev/null)
function=$(sed -n 's/.* -F \([^ ]*\) .*/\1/p' <<<"$registered")
if [ -z "$function" ]; then
  echo "FAILED: no completion function registered for vannor-cli ($registered)"
  exit 1
fi

# The replies to the command line "$@", the last word being completed, one a line.
complete_line() {
  COMP_WORDS=(vannor-cli "$@")
  COMP_CWORD=$#
  COMP_LINE="vannor-cli $*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  "$function" vannor-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  if [ "${#COMPREPLY[@]}" -gt 0 ]; then printf '%s\n' "${COMPREPLY[@]}" | sort; fi
}

expect() {
  local wanted=$1
  shift
  local got
  got=$(complete_line "$@")
  if [ "$got" != "$wanted" ]; then
    echo "FAILED: vannor-cli $*<TAB>"
    echo "  wanted: $(tr '\n' ' ' <<<"$wanted")"
    echo "  got:    $(tr '\n' ' ' <<<"$got")"
    failed=$((failed + 1))
  fi
}

coms=$(printf 'COM%s\n' 1 10 2 3 4 5 6 7 8 9)
expect "write" wr
expect "$(printf '%s\n' history map ports unmap version write)" ""
expect "$(printf '%s\n' --failed)" history --port COM1 --fa
expect "$(printf '%s\n' --json)" write --port COM1 --js
expect "" history --since ""
expect "$(printf '%s\n' --help --version)" --
expect "$(printf '%s\n' COM1 COM10)" write --port COM1
expect "$(printf '%s\n' COM1 COM10)" version -p COM1
expect "$coms" write --port = COM
expect "$(printf '%s\n' --dsp1 --dsp2)" write --port COM1 --ds
expect "$coms" map C
expect "" unmap COM1 ""

# --port offers the ten names first, then the devices found, each a path that is there.
ports=$(complete_line version --port "")
if [ "$(grep -c '^COM' <<<"$ports")" -ne 10 ]; then
  echo "FAILED: --port <TAB> does not offer COM1 to COM10: $ports"
  failed=$((failed + 1))
fi
while read -r device; do
  if [ ! -e "$device" ]; then
    echo "FAILED: --port <TAB> offers $device, which is not there"
    failed=$((failed + 1))
  fi
done < <(grep -v '^COM' <<<"$ports")

# Images: *.out files and folders, from where the user is; a path completes as a path.
mkdir "$work/images"
touch "$work/a.out" "$work/b.bin" "$work/pts0"
(
  cd "$work" || exit 1
  expect "$(printf '%s\n' a.out images)" write --port COM1 --dsp1 ""
  expect "$work/pts0" map COM2 "$work/pt"
  expect "$work/pts0" write --port "$work/pt"
  expect "$(printf '%s\n' a.out images)" history --image ""
  expect "$(printf '%s\n' a.out b.bin images pts0)" write --history ""
  exit "$failed"
)
failed=$?

if [ "$failed" -ne 0 ]; then
  echo "bash completion: $failed failed"
  exit 1
fi
echo "bash completion: all passed"
