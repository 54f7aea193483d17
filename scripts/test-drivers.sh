#!/usr/bin/env bash
# The tool on Linux's real serial drivers, with no hardware: Debian's own kernel boots under
# QEMU (software emulation) with an emulated 16550 UART (/dev/ttyS1, driver 8250) and FTDI
# USB-serial adapter (/dev/ttyUSB0, driver ftdi_sio); vannor-cli runs in the guest as a user of
# group dialout, and vannor-radio-sim plays the radio on this machine at the far end of each.
# The adapter is pulled out and plugged back in through QEMU's monitor (QMP). Prints a line per
# case, "N passed, N failed", the time from the unplug to the tool's end, and the stage's time.
#
#   bash scripts/test-drivers.sh
#
# Installs what is missing (install-deps.sh --drivers); builds vannor-cli and vannor-radio-sim
# in build/drivers (no window, no tests); fetches the kernel package once into the cache
# (see scripts/lib-guest.sh). Logs of the last run: build/drivers/stage/.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/lib-guest.sh

stage_start=$(date +%s.%N)
build=build/drivers
logs=$build/stage

elapsed() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }
die() {
  echo "drivers: $*" >&2
  exit 1
}

work=""
sim_pids=()
cleanup() {
  local status=$?
  guest_stop
  local pid
  for pid in "${sim_pids[@]}"; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  [ -z "$work" ] || rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# --- the parts ---------------------------------------------------------------------------------
bash scripts/install-deps.sh --drivers ||
  die "cannot install the stage's packages (bash scripts/install-deps.sh --drivers)"
missing=()
for tool in qemu-system-x86_64 busybox apt-get apt-cache dpkg-deb strip ldd od gzip cmake; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
applets=$(busybox --list 2>/dev/null)
for applet in cpio insmod mdev uevent su stty usleep xzcat; do
  grep -qx "$applet" <<<"$applets" || missing+=("busybox $applet")
done
[ "${#missing[@]}" -eq 0 ] ||
  die "missing: ${missing[*]} (bash scripts/install-deps.sh --drivers installs them)"
# The guest has no C library of its own: its busybox must be the static one.
! ldd "$(command -v busybox)" >/dev/null 2>&1 ||
  die "$(command -v busybox) is linked dynamically; the guest needs busybox-static"

echo "=== drivers: build ==="
# Only the two programs: no window, no tests. Their output only when they fail.
mkdir -p "$build"
built() {
  "$@" >"$build/build.log" 2>&1 && return 0
  tail -n 40 "$build/build.log" >&2
  return 1
}
if [ ! -f "$build/CMakeCache.txt" ]; then
  built cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANNOR_BUILD_UI=OFF \
    -DBUILD_TESTING=OFF || die "cannot configure $build"
fi
built cmake --build "$build" -j "${VANNOR_JOBS:-2}" --target vannor-cli vannor-radio-sim ||
  die "cannot build vannor-cli and vannor-radio-sim in $build"
cli=$build/cli/vannor-cli
sim=$build/tools/vannor-radio-sim

kernel=$(guest_kernel) || die "no kernel for the guest"
echo "=== drivers: guest with $(cat "$kernel/ready") ==="

work=$(mktemp -d /tmp/vannor-drivers.XXXXXX) || die "cannot make a temporary folder"
rm -rf "$logs"
mkdir -p "$logs"

# 20,000 bytes running through every byte value, neighbours apart.
image=$work/image.out
bytes=""
for ((i = 0; i < 20000; i++)); do
  printf -v octal '\\%03o' $(((i * 7 + i / 256) & 255))
  bytes+=$octal
done
printf "$bytes" >"$image" # the format is nothing but octal escapes
unset bytes

guest_initramfs "$kernel" "$work/initrd.gz" "$cli" "$image" || die "cannot build the initramfs"

boot_start=$(date +%s.%N)
guest_boot "$kernel" "$work/initrd.gz" "$work" "$logs" || die "cannot start QEMU"

# The radio on each line; the adapter appears to the guest once its far end is opened.
start_sim() {
  local name=$1 pty=$2
  "$sim" --device "$pty" --no-map --pace --image-file "$work/$name.image" \
    >"$logs/sim-$name.log" 2>&1 &
  sim_pids+=($!)
}
start_sim ttyS1 "$guest_pty_s1"
start_sim ttyUSB0 "$guest_pty_usb0"

guest_wait_ready 120 || die "the guest did not start"
grep '^@@insmod' <<<"$guest_out" && die "a module did not load"
guest 30 "await_node /dev/ttyUSB0 20" || die "no /dev/ttyUSB0 in the guest"
# QEMU's adapter reports a latency timer of 0; an FT232's own is 16 ms.
guest 5 "echo 16 >\$LATENCY" || die "cannot set the adapter's latency timer"
echo "guest up in $(elapsed "$boot_start") s"

# --- the cases ---------------------------------------------------------------------------------
passed=0
failed=0
# case_result STATUS NAME [DETAIL]: a pass when STATUS is 0, as right after the case's test.
case_result() {
  if [ "$1" -eq 0 ]; then
    passed=$((passed + 1))
    printf 'pass  %s%s\n' "$2" "${3:+ ($3)}"
  else
    failed=$((failed + 1))
    printf 'FAIL  %s%s\n' "$2" "${3:+: $3}"
  fi
}

declare -A images_seen=([ttyS1]=0 [ttyUSB0]=0)
# await_image_end NAME: waits until the radio on NAME has told the end of one more image; sets
# $image_length to its length. Also keeps the next write from starting inside that image.
await_image_end() {
  local name=$1 want=$((images_seen[$1] + 1)) deadline=$((SECONDS + 15)) line
  image_length=""
  while [ "$SECONDS" -lt "$deadline" ]; do
    line=$(grep '^image ended after' "$logs/sim-$name.log" | sed -n "${want}p")
    if [ -n "$line" ]; then
      images_seen[$name]=$want
      image_length=$(awk '{ print $4 }' <<<"$line")
      return 0
    fi
    sleep 0.2
  done
  return 1
}
# radio_got NAME: the radio's latest image is the whole image file, byte for byte.
radio_got() {
  await_image_end "$1" && [ "$image_length" = 20000 ] && cmp -s "$image" "$work/$1.image"
}
versions_told() { grep -c '^version read answered' "$logs/sim-$1.log"; }

# Each sets $settings to the port's settings as `stty -g` prints them.
settings_of() {
  guest 10 "stty -g -F $1"
  settings=$guest_out
}
latency_of() {
  guest 5 'cat $LATENCY'
  latency=$guest_out
}
# await_write TAG SECONDS: waits for a write of start_write's to end; sets $rc and $said (the
# tool's last line).
await_write() {
  guest "$(($2 + 10))" "await_exit $1 $2"
  rc=$(head -n 1 <<<"$guest_out")
  said=$(tail -n 1 <<<"$guest_out")
}

version_case() {
  local port=/dev/$1
  guest 30 "as_user 'vannor-cli version --port $port' 2>&1"
  [ $? -eq 0 ] && [ "$guest_out" = "DSP1 V01.03  DSP2 V02.00" ]
  case_result $? "$1: version read" "$guest_out"
}

# write_begin NAME: starts a whole write, and checks what must hold while it runs.
declare -A settings_before latency_during second_status second_said
write_begin() {
  local name=$1 port=/dev/$1 versions
  settings_of "$port"
  settings_before[$name]=$settings
  guest 5 "start_write w-$name $port"
  guest 120 "await_progress w-$name"
  if [ "$name" = ttyUSB0 ]; then
    latency_of
    latency_during[$name]=$latency
  fi
  versions=$(versions_told "$name")
  guest 30 "as_user 'vannor-cli version --port $port' 2>&1"
  second_status[$name]=$?
  second_said[$name]=$guest_out
  # The refused program must not have reached the radio.
  [ "$(versions_told "$name")" = "$versions" ] ||
    second_status[$name]="${second_status[$name]}, and it reached the radio"
}

# write_finish NAME: waits for the write begun by write_begin and checks what it left.
write_finish() {
  local name=$1 port=/dev/$1 second=${second_said[$1]}
  await_write "w-$name" 140
  settings_of "$port"
  [ "$name" = ttyUSB0 ] && latency_of
  [ "$rc" = 0 ] && radio_got "$name"
  case_result $? "$name: 20000-byte write of every byte value, the radio got each byte" \
    "exit $rc, the radio counted ${image_length:-no end of image}: $said"
  [ -n "$settings" ] && [ "$settings" = "${settings_before[$name]}" ]
  case_result $? "$name: line settings (stty -g) the same before and after" "$settings"
  if [ "$name" = ttyUSB0 ]; then
    [ "${latency_during[$name]}" = 1 ] && [ "$latency" = 16 ]
    case_result $? "$name: latency timer 1 ms while open, its old 16 ms after" \
      "during ${latency_during[$name]}, after $latency"
  fi
  [ "${second_status[$name]}" = 4 ] && [[ $second == *"$port: "?* ]]
  case_result $? "$name: a second vannor-cli is refused while the first writes (exit 4, reason)" \
    "exit ${second_status[$name]}: $second"
}

# sigterm_case NAME: SIGTERM in the middle of a write.
sigterm_case() {
  local name=$1 port=/dev/$1 before left
  settings_of "$port"
  before=$settings
  latency=16
  guest 5 "start_write t-$name $port"
  guest 120 "await_progress t-$name"
  guest 5 "kill -TERM \$(cat /tmp/t-$name.pid)"
  await_write "t-$name" 25
  settings_of "$port"
  guest 5 "left_behind $port"
  left=$guest_out
  [ "$name" = ttyUSB0 ] && latency_of
  # The radio's image must be over before the next write begins.
  await_image_end "$name"
  [ "$rc" = 130 ] && [ "$settings" = "$before" ] && [ "$latency" = 16 ] && [ -z "$left" ]
  case_result $? "$name: SIGTERM mid-write: exit 130, settings back, nothing left running" \
    "exit $rc: $said${left:+; left running: $left}"
}

unplug_ms=""
# unplug_case: the adapter pulled out mid-write, then plugged back in.
unplug_case() {
  local port=/dev/ttyUSB0 left pulled gone
  guest 5 "start_write u $port"
  guest 120 "await_progress u"
  pulled=$(date +%s%N)
  guest_qmp '{"execute":"device_del","arguments":{"id":"us0"}}' || die "QEMU kept the adapter"
  # The guest looks for the tool's end every 20 ms, and its answer takes a moment to come: the
  # time is at most that much too long, never too short.
  await_write u 25
  unplug_ms=$((($(date +%s%N) - pulled) / 1000000))
  guest 5 "left_behind $port"
  left=$guest_out
  guest 5 "[ ! -e /sys/class/tty/ttyUSB0 ]"
  gone=$?
  [ "$rc" = 1 ] && [[ $said == *"went away"* ]] && [ -z "$left" ] && [ "$gone" -eq 0 ]
  case_result $? \
    "ttyUSB0: adapter pulled mid-write: exit 1, the port went away, nothing left running" \
    "exit $rc: $said${left:+; left running: $left}"
  [ "$rc" = 1 ] && [ "$unplug_ms" -le 1000 ]
  case_result $? "ttyUSB0: the tool ends within 1 s of the unplug" \
    "$unplug_ms ms from device_del to the tool's end"
  await_image_end ttyUSB0

  # A new id, so that the plug does not depend on the old one being released yet.
  local adapter='{"driver":"usb-serial","chardev":"usb0","id":"us1"}'
  guest_qmp "{\"execute\":\"device_add\",\"arguments\":$adapter}" ||
    die "QEMU did not plug the adapter back"
  guest 30 "await_node $port 20" || die "no $port after the adapter came back"
  local node=$guest_out
  guest 5 "start_write r $port"
  await_write r 140
  [ "$node" = "root:dialout 660" ] && [ "$rc" = 0 ] && radio_got ttyUSB0
  case_result $? "ttyUSB0: plugged back: a new root:dialout 0660 node, the next write succeeds" \
    "node $node; exit $rc: $said"
}

cases_start=$(date +%s.%N)
guest 5 "stat -c '%U:%G %a' /dev/ttyS1"
[ "$guest_out" = "root:dialout 660" ]
case_result $? "ttyS1: node root:dialout 0660, the tool runs as a user of group dialout" \
  "$guest_out"
version_case ttyS1
version_case ttyUSB0
# The kernel writes its console to ttyS0 here, as on many virtual machines: the tool must not
# send the radio's commands there, and says why (run as root, so that only that check refuses).
guest 30 "setsid vannor-cli version --port /dev/ttyS0 </dev/null 2>&1"
console_rc=$?
[ "$console_rc" = 4 ] && [[ $guest_out == *"system console"* ]]
case_result $? "ttyS0: the kernel's console is refused (exit 4, reason)" "exit $console_rc: $guest_out"
# The UART's write takes longest: the adapter's cases run meanwhile.
write_begin ttyS1
write_begin ttyUSB0
write_finish ttyUSB0
sigterm_case ttyUSB0
unplug_case
write_finish ttyS1
sigterm_case ttyS1
echo "cases took $(elapsed "$cases_start") s"

echo "drivers: $passed passed, $failed failed"
echo "drivers: unplug to the tool's end: $unplug_ms ms (bound 1000 ms)"
echo "drivers: stage took $(elapsed "$stage_start") s"
[ "$failed" -eq 0 ]
