#!/usr/bin/env bash
# vannor-cli.exe under Wine as a person runs it from a command prompt, against the radios that
# vannor-wine-radio serves on COM ports of the test prefix: one row of the table below per
# case, each checking the exit status and a line of the output.
#
#   wine_cli_test.sh VANNOR_WINE_RADIO WINE_DIR VANNOR_CLI_EXE VERSION
set -u
radio=$1 wine_dir=$2 cli=$3 version=$4

dir=$(mktemp -d /tmp/vannor-cli-test-XXXXXX)
# 20,000 bytes through every value many times; the radios compare what they got byte for byte.
perl -e 'print map { chr(($_ * 7 + int($_ / 256)) % 256) } 0 .. 19999' >"$dir/image.out"
cp "$dir/image.out" "$dir/image.bin"
head -c 1000 "$dir/image.out" >"$dir/small.out"
image="Z:${dir//\//\\}\\image.out"
small="Z:${dir//\//\\}\\small.out"

# FTDI's driver setting for an adapter behind COM1, as the registry keeps it.
ftdi='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+VANNORTEST'
latency_timer() {
  "$wine_dir/wine" reg add "$ftdi\0000\Device Parameters" /v PortName /d COM1 /f &&
    "$wine_dir/wine" reg add "$ftdi\0000\Device Parameters" /v LatencyTimer /t REG_DWORD \
      /d "$1" /f
} >/dev/null 2>&1
# A device of the Ports class, as setup lists it, with the name Device Manager shows and its maker.
port_device='HKLM\SYSTEM\CurrentControlSet\Enum\ROOT\PORTS\VANNORTEST'
{
  "$wine_dir/wine" reg add "$port_device" /v ClassGUID \
    /d '{4D36E978-E325-11CE-BFC1-08002BE10318}' /f &&
    "$wine_dir/wine" reg add "$port_device" /v FriendlyName /d 'USB Serial Port (COM3)' /f &&
    "$wine_dir/wine" reg add "$port_device" /v Mfg /d 'Vannor Test' /f &&
    "$wine_dir/wine" reg add "$port_device\Device Parameters" /v PortName /d COM3 /f
} >/dev/null 2>&1
trap '{ "$wine_dir/wine" reg delete "$ftdi" /f; "$wine_dir/wine" reg delete "$port_device" /f
  "$wine_dir/wine" reg delete "HKCU\Software\Vannor\Ports" /f
} >/dev/null 2>&1; rm -rf "$dir"' EXIT

failed=0
# row NAME STATUS TEXT [RADIO OPTIONS...] -- ARGUMENTS...: runs vannor-cli with ARGUMENTS against
# a radio set up with RADIO OPTIONS (no radio without "--radio"), and checks its exit status and
# that a line of its output starts with TEXT (with "!TEXT": that none does).
row() {
  local name=$1 want=$2 text=$3 status
  shift 3
  local radio_options=()
  while [ "$1" != "--" ]; do
    radio_options+=("$1")
    shift
  done
  shift
  if [ "${#radio_options[@]}" -gt 0 ] && [ "${radio_options[0]}" = "--radio" ]; then
    "$radio" --wine-dir "$wine_dir" "${radio_options[@]:1}" -- "$cli" "$@" >"$dir/out" 2>&1
  else
    "$wine_dir/wine" "$cli" "$@" >"$dir/out" 2>&1
  fi
  status=$?
  tr -d '\r' <"$dir/out" >"$dir/lines"
  local present=1
  TEXT=${text#!} awk 'index($0, ENVIRON["TEXT"]) == 1 { found = 1 } END { exit !found }' \
    "$dir/lines" || present=0
  [ "${text:0:1}" != "!" ] || present=$((1 - present))
  if [ "$status" -ne "$want" ] || [ "$present" -ne 1 ]; then
    echo "FAIL $name: exit status $status (want $want), output:" >&2
    sed 's/^/  | /' "$dir/lines" >&2
    echo "  (wanted the line: $text)" >&2
    failed=$((failed + 1))
  else
    echo "ok   $name"
  fi
}

rows=0
count() { rows=$((rows + 1)); row "$@"; }
count "program version" 0 "vannor-cli $version" -- --version
count "help in Windows' terms" 0 "  -p, --port PORT   COM1, COM2, ... (also \\\\.\\COM12 style names)" -- --help
count "radio version" 0 "DSP1 V01.03  DSP2 V02.00" --radio -- version --port COM1
count "write 20,000 bytes" 0 "COM1: written (20000 bytes)" \
  --radio --length 20000 --check-image "$dir/image.out" --check-mask 1 \
  -- write --port COM1 --dsp1 "$image"
count "two radios at once" 0 "2 of 2 radios written" \
  --radio --radios 2 --length 20000 --check-image "$dir/image.out" --check-mask 5 \
  -- write --port COM1 --port COM2 --dsp1 --dsp2 "$image"
count "device namespace name" 0 "DSP1 V01.03  DSP2 V02.00" --radio --com 10 \
  -- version --port '\\.\COM10'
count "ports as the drivers list them" 0 "  COM1   \\Device\\Serial0" -- ports
count "ports with Device Manager's names" 0 "  COM3   USB Serial Port (COM3) — Vannor Test" \
  -- ports
count "exit 1: hang-up" 1 \
  "vannor-cli: COM1 (\\\\.\\COM1): the port went away; was the adapter unplugged?" \
  --radio --length 20000 --hang-up-at 5 -- write --port COM1 --dsp1 "$image"
count "exit 2: no DSP" 2 "vannor-cli: COM1: DSP Select Error: give --dsp1, --dsp2 or both" \
  -- write --port COM1 "$image"
# An adapter at COM17, reached through COM3 of the list; then gone, and told by name.
count "map COM3 to COM17" 0 "COM3 -> COM17" -- map com3 COM17
count "version through the link" 0 "DSP1 V01.03  DSP2 V02.00" --radio --com 17 \
  -- version --port COM3
count "a port beyond the list by name" 0 "DSP1 V01.03  DSP2 V02.00" --radio --com 17 \
  -- version --port COM17
count "the link's port gone" 4 "vannor-cli: COM3 (\\\\.\\COM17): " -- version --port COM3
count "ports names the link" 0 "  COM3  -> COM17" -- ports
count "unmap" 0 "COM3 unmapped; it opens COM3" -- unmap COM3
count "exit 2: map to no COM port" 2 "vannor-cli: /dev/ttyS0: not a COM port name" \
  -- map COM3 /dev/ttyS0
count "exit 3: image refused" 3 \
  "vannor-cli: ${image%.out}.bin: File Error: the image's name must end in .out" \
  -- write --port COM1 --dsp1 "${image%.out}.bin"
# Wine's words for a port that leads nowhere are not Windows' ("not a serial port").
count "exit 4: port unusable" 4 "vannor-cli: COM4 (\\\\.\\COM4): " -- version --port COM4
count "exit 130: Ctrl-C" 130 \
  "vannor-cli: COM1: interrupted; the DSP is left unfinished, write it again" \
  --radio --length 20000 --interrupt-after 2000 -- write --port COM1 --dsp1 "$image"
latency_timer 16
count "a slow adapter is told" 0 \
  "vannor-cli: COM1 (\\\\.\\COM1): the USB adapter's latency timer is 16 ms, so the 1000 bytes\
 may take about 16 s instead of 0.6 s; set it to 1 ms: Device Manager, the port's Properties,\
 Port Settings, Advanced, Latency Timer" \
  --radio --length 1000 -- write --port COM1 --dsp1 "$small"
latency_timer 1
count "a fast adapter is not" 0 "!vannor-cli: COM1 (\\\\.\\COM1): the USB adapter's" \
  --radio --length 1000 -- write --port COM1 --dsp1 "$small"

echo "$((rows - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
