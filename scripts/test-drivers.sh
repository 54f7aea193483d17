#!/usr/bin/env bash
# The tool on Linux's real serial drivers, with no hardware: Debian's own kernel boots under
# QEMU (software emulation) with an emulated 16550 UART (/dev/ttyS1, driver 8250) and FTDI
# USB-serial adapter (/dev/ttyUSB0, driver ftdi_sio); vannor-cli runs in the guest as a user of
# group dialout, and vannor-radio-sim plays the radio on this machine at the far end of each.
# The adapter is pulled out and plugged back in through QEMU's monitor (QMP). The UART's receive
# trigger is checked without and with the vannor package's udev rule, which the guest's udev
# applies as the package's installation does. Each write is timed against a bare C loop in the
# guest (tests/drivers/echo_loop.c) on the same port with the same trigger or latency timer.
# Prints a line per case, "N passed, N failed", the timing table, the time from the unplug to the
# tool's end, and the stage's time.
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
for tool in qemu-system-x86_64 busybox apt-get apt-cache dpkg-deb strip ldd od gzip cmake cc \
  udevadm; do
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
# The guest's helpers: the bare loop, and the hang-up that stands in for pulling out a UART.
for helper in echo_loop hang_up; do
  built cc -O2 -Wall -Wextra -Werror -o "$build/${helper//_/-}" "tests/drivers/$helper.c" ||
    die "cannot build tests/drivers/$helper.c"
done

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
# The timed writes: long enough that starting a program is lost in it, short enough for the
# slow cases (the wire alone takes 2.60 s).
timed=$work/timed.out
timed_length=5000
head -c "$timed_length" "$image" >"$timed"

guest_initramfs "$kernel" "$work/initrd.gz" "$cli" "$build/echo-loop" "$build/hang-up" "$image" \
  "$timed" || die "cannot build the initramfs"

# The radio on each line; the adapter appears to the guest once its far end is opened.
start_sim() {
  local name=$1 pty=$2
  "$sim" --device "$pty" --no-map --pace --image-file "$work/$name.image" \
    >"$logs/sim-$name.log" 2>&1 &
  sim_pids+=($!)
}

# boot_guest FOLDER: a guest (its FIFOs in FOLDER) with a radio on each line, ready for the cases.
boot_guest() {
  local boot_start
  boot_start=$(date +%s.%N)
  mkdir -p "$1" || die "cannot make $1"
  guest_boot "$kernel" "$work/initrd.gz" "$1" "$logs" || die "cannot start QEMU"
  start_sim ttyS1 "$guest_pty_s1"
  start_sim ttyUSB0 "$guest_pty_usb0"
  guest_wait_ready 120 || die "the guest did not start"
  grep '^@@insmod' <<<"$guest_out" && die "a module did not load"
  grep '^@@udev' <<<"$guest_out" && die "udev did not start in the guest"
  guest 30 "await_node /dev/ttyUSB0 20" || die "no /dev/ttyUSB0 in the guest"
  # QEMU's adapter reports a latency timer of 0; an FT232's own is 16 ms.
  guest 5 "echo 16 >\$LATENCY" || die "cannot set the adapter's latency timer"
  echo "guest up in $(elapsed "$boot_start") s"
}
boot_guest "$work/boot"

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
# radio_got NAME [FILE]: the radio's latest image is the whole image file (or FILE), byte for byte.
radio_got() {
  local file=${2:-$image}
  await_image_end "$1" && [ "$image_length" = "$(stat -c %s "$file")" ] &&
    cmp -s "$file" "$work/$1.image"
}
versions_told() { grep -c '^version read answered' "$logs/sim-$1.log"; }

# Each sets $settings to the port's settings as `stty -g` prints them.
settings_of() {
  guest 10 "stty -g -F $1"
  settings=$guest_out
}
# What holds received bytes back on each port, which the tool lowers to 1 while the port is
# open: the adapter's latency timer (ms), the UART's receive trigger (bytes). The guest's
# variable that names the file, the value the port starts with, and its name in the cases.
# shellcheck disable=SC2016 # expanded in the guest, where the variables are set
declare -A hold_file=([ttyUSB0]='$LATENCY' [ttyS1]='$TRIGGER')
declare -A hold_old=([ttyUSB0]=16 [ttyS1]=8)
declare -A hold_name=([ttyUSB0]="latency timer" [ttyS1]="rx_trig_bytes")
# hold_of NAME: sets $hold to the port's value now.
hold_of() {
  guest 5 "cat ${hold_file[$1]}"
  hold=$guest_out
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
declare -A settings_before hold_during second_status second_said
write_begin() {
  local name=$1 port=/dev/$1 versions
  settings_of "$port"
  settings_before[$name]=$settings
  guest 5 "start_write w-$name $port"
  guest 120 "await_progress w-$name"
  hold_of "$name"
  hold_during[$name]=$hold
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
  hold_of "$name"
  [ "$rc" = 0 ] && radio_got "$name"
  case_result $? "$name: 20000-byte write of every byte value, the radio got each byte" \
    "exit $rc, the radio counted ${image_length:-no end of image}: $said"
  [ -n "$settings" ] && [ "$settings" = "${settings_before[$name]}" ]
  case_result $? "$name: line settings (stty -g) the same before and after" "$settings"
  [ "${hold_during[$name]}" = 1 ] && [ "$hold" = "${hold_old[$name]}" ]
  case_result $? "$name: ${hold_name[$name]} 1 during a write by the user, its old \
${hold_old[$name]} after End" "during ${hold_during[$name]}, after $hold"
  [ "${second_status[$name]}" = 4 ] && [[ $second == *"$port: "?* ]]
  case_result $? "$name: a second vannor-cli is refused while the first writes (exit 4, reason)" \
    "exit ${second_status[$name]}: $second"
}

# sigterm_case NAME: SIGTERM in the middle of a write.
sigterm_case() {
  local name=$1 port=/dev/$1 before left
  settings_of "$port"
  before=$settings
  guest 5 "start_write t-$name $port"
  guest 120 "await_progress t-$name"
  guest 5 "kill -TERM \$(cat /tmp/t-$name.pid)"
  await_write "t-$name" 25
  settings_of "$port"
  guest 5 "left_behind $port"
  left=$guest_out
  hold_of "$name"
  # The radio's image must be over before the next write begins.
  await_image_end "$name"
  [ "$rc" = 130 ] && [ "$settings" = "$before" ] && [ "$hold" = "${hold_old[$name]}" ] &&
    [ -z "$left" ]
  case_result $? "$name: SIGTERM mid-write: exit 130, settings and ${hold_name[$name]} back, \
nothing left running" "exit $rc, ${hold_name[$name]} $hold: $said${left:+; left running: $left}"
}

# --- the receive trigger, and the time of a write against the bare loop -----------------------
declare -A took_cs round_cs
# run_timed KEY COMMAND: runs COMMAND as the user (see timed_as_user); sets $rc and $output.
# took_cs[KEY] keeps the shortest time of KEY's runs, the one this machine's other work disturbed
# least; round_cs[KEY] lists every run's time, in order.
run_timed() {
  guest 200 "timed_as_user '$2'"
  local first took
  first=$(head -n 1 <<<"$guest_out")
  rc=${first% *}
  took=${first#* }
  if [ -z "${took_cs[$1]:-}" ] || [ "$took" -lt "${took_cs[$1]}" ]; then took_cs[$1]=$took; fi
  round_cs[$1]+="$took "
  output=$(tail -n +2 <<<"$guest_out")
}
# bare_loop NAME VALUE: the bare loop writes the timed image on NAME with the port's trigger or
# timer at VALUE, which root sets before and puts back after; sets $loop_ok (0 when every echo
# came and the radio got every byte).
bare_loop() {
  local name=$1 value=$2
  guest 5 "echo $value >${hold_file[$name]}" || die "cannot set ${hold_name[$name]} on $name"
  run_timed "$name loop $value" "echo-loop /dev/$name /timed.out"
  [ "$rc" = 0 ] && radio_got "$name" "$timed"
  loop_ok=$?
  guest 5 "echo ${hold_old[$name]} >${hold_file[$name]}" || die "cannot put $name back"
}
# tool_write NAME KEY: vannor-cli writes the timed image on NAME; sets $rc, $output, $said (its
# last line) and $hold (the port's value after), and $write_ok (0 when it succeeded and the radio
# got every byte).
tool_write() {
  run_timed "$2" "vannor-cli write --dsp1 --dsp2 --port /dev/$1 /timed.out"
  said=$(tail -n 1 <<<"$output")
  [ "$rc" = 0 ] && radio_got "$1" "$timed"
  write_ok=$?
  hold_of "$1"
}

# Before the udev rule: the attribute is root's, the tool cannot lower it and says so once.
trigger_file=/sys/class/tty/ttyS1/rx_trig_bytes
no_rule_case() {
  guest 5 "stat -c '%U:%G %a' \$TRIGGER"
  local owner=$guest_out note
  hold_of ttyS1
  [ "$owner" = "root:root 644" ] && [ "$hold" = 8 ]
  case_result $? "ttyS1: rx_trig_bytes at boot: root:root 0644, 8 bytes" "$owner, $hold"
  bare_loop ttyS1 8
  tool_write ttyS1 "ttyS1 tool 8"
  # Once: the first echoes' measurement must not tell it again.
  note=$(grep "UART" <<<"$output")
  [ "$write_ok" = 0 ] && [ "$hold" = 8 ] && [ "$(grep -c . <<<"$note")" = 1 ] &&
    [[ $note == *"receive trigger is 8 bytes"*"udev rule"*"echo 1 | sudo tee $trigger_file" ]]
  case_result $? "ttyS1 without the udev rule: the write arrives byte for byte, one note names \
rx_trig_bytes and the fix" "exit $rc, after $hold: ${note:-no note}"
}

# The package's rule, applied as its installation does (udev running, then its postinst): group
# dialout may write rx_trig_bytes, and no other file of /sys or /dev changes owner, group or mode.
rule_case() {
  local status changed others owner
  guest 120 "permissions_of /sys /dev >/tmp/before.perm && install_rule &&" \
    "permissions_of /sys /dev >/tmp/after.perm"
  status=$?
  guest 30 "diff /tmp/before.perm /tmp/after.perm | grep '^[-+][0-7]'"
  changed=$guest_out
  others=$(grep -v '/rx_trig_bytes$' <<<"$changed")
  guest 5 "stat -c '%U:%G %a' \$TRIGGER"
  owner=$guest_out
  [ "$status" = 0 ] && [ -z "$others" ] && [ "$owner" = "root:dialout 664" ]
  case_result $? "the package's udev rule: rx_trig_bytes root:dialout 0664, nothing else changed" \
    "status $status, $owner${others:+; also changed: $others}"
}

# timed_case NAME ROUNDS: with the rule in place, the timed write against the bare loop at the
# trigger the tool sets, in turns, ROUNDS times each.
timed_case() {
  local name=$1 rounds=$2 round wrong=""
  for ((round = 1; round <= rounds; round++)); do
    bare_loop "$name" 1
    [ "$loop_ok" = 0 ] || wrong+=" loop $round failed;"
    tool_write "$name" "$name tool 1"
    [ "$write_ok" = 0 ] && [ "$hold" = "${hold_old[$name]}" ] ||
      wrong+=" write $round: exit $rc, after $hold: $said;"
  done
  [ -z "$wrong" ]
  case_result $? "$name: $rounds timed writes and bare loops arrive byte for byte, \
${hold_name[$name]} ${hold_old[$name]} after each" "${wrong:-${took_cs[$name tool 1]} cs at best}"
}

# A UART cannot be pulled out; hanging its line up under the tool is what the kernel does to an
# unplugged adapter's.
hang_up_case() {
  local port=/dev/ttyS1 during left
  guest 5 "start_write h $port"
  guest 120 "await_progress h"
  hold_of ttyS1
  during=$hold
  guest 5 "hang-up $port" || die "cannot hang $port up"
  await_write h 25
  guest 5 "left_behind $port"
  left=$guest_out
  hold_of ttyS1
  await_image_end ttyS1
  [ "$rc" = 1 ] && [[ $said == *"went away"* ]] && [ "$during" = 1 ] && [ "$hold" = 8 ] &&
    [ -z "$left" ]
  case_result $? "ttyS1: the line hung up mid-write: exit 1, the port went away, rx_trig_bytes \
1 during and 8 after" "exit $rc, during $during, after $hold: $said${left:+; left running: $left}"
}

# The package removed: the rule goes and its postrm takes back what the rule gave, for good.
removal_case() {
  guest 60 "remove_rule && stat -c '%U:%G %a' \$TRIGGER"
  [ $? -eq 0 ] && [ "$guest_out" = "root:root 644" ]
  case_result $? "the package's removal takes the access back: rx_trig_bytes root:root 0644" \
    "$guest_out"
}

# The table: each row's time in us a byte and against the wire, the tool against the loop.
wire_us=520.8
per_byte() {
  awk -v cs="${took_cs[$1]:-0}" -v n="$timed_length" 'BEGIN { printf "%.1f", cs * 1e4 / n }'
}
timing_row() {
  local label=$1 loop=$2 tool=$3
  awk -v label="$label" -v loop="$(per_byte "$loop")" -v tool="$(per_byte "$tool")" \
    -v wire="$wire_us" -v ratio="$(paired_ratio "$loop" "$tool")" 'BEGIN {
      printf "  %-34s %8.1f us %5.2f x   %8.1f us %5.2f x   %6.3f\n", label, loop, loop / wire,
        tool, tool / wire, ratio }'
}
print_timing() {
  echo "drivers: $timed_length bytes to a paced radio, in the guest (the wire alone:" \
    "$wire_us us a byte); each the shortest of its runs (in cs: ttyS1 loop" \
    "${round_cs[ttyS1 loop 1]:-}/ tool" \
    "${round_cs[ttyS1 tool 1]:-}/ ttyUSB0 loop ${round_cs[ttyUSB0 loop 1]:-}/ tool" \
    "${round_cs[ttyUSB0 tool 1]:-})"
  printf '  %-34s %-22s %-22s %s\n' "port" "bare loop" "vannor-cli" "tool / loop"
  timing_row "ttyS1, rx_trig_bytes 8 (no rule)" "ttyS1 loop 8" "ttyS1 tool 8"
  timing_row "ttyS1, rx_trig_bytes 1 (the rule)" "ttyS1 loop 1" "ttyS1 tool 1"
  timing_row "ttyUSB0, latency timer 1 ms" "ttyUSB0 loop 1" "ttyUSB0 tool 1"
}
# paired_ratio LOOP_KEY TOOL_KEY: the tool's time against the bare loop's, as the median of the
# rounds' own ratios, as vannor-bench takes it (a loop and a write of one round run back to back,
# so a busy spell of this machine weighs on both sides of a ratio).
paired_ratio() {
  awk -v loop="${round_cs[$1]:-}" -v tool="${round_cs[$2]:-}" 'BEGIN {
    n = split(tool, t, " "); if (split(loop, l, " ") != n || n == 0) { printf "0"; exit }
    for (i = 1; i <= n; i++) r[i] = (l[i] > 0 ? t[i] / l[i] : 0)
    for (i = 1; i <= n; i++)
      for (j = i + 1; j <= n; j++)
        if (r[j] < r[i]) { x = r[i]; r[i] = r[j]; r[j] = x }
    printf "%.3f", (n % 2 ? r[(n + 1) / 2] : (r[n / 2] + r[n / 2 + 1]) / 2) }'
}

unplug_ms=""
# qemu_crashed: QEMU has ended by a signal of its own (not ours, not an exit).
qemu_crashed() {
  guest_qemu_ended && [ -n "$(guest_qemu_signal)" ]
}
# unplug_case: the adapter pulled out mid-write, then plugged back in. Returns 2, having told
# nothing, when QEMU crashed meanwhile: its verdicts are told only once the guest has seen it
# through.
unplug_case() {
  local port=/dev/ttyUSB0 left pulled gone node pulled_rc pulled_said
  # A QEMU that ends makes the guest's commands fail here instead of ending the script.
  local guest_survive_qemu=1
  guest 5 "start_write u $port"
  guest 120 "await_progress u"
  pulled=$(date +%s%N)
  if ! guest_qmp '{"execute":"device_del","arguments":{"id":"us0"}}'; then
    qemu_crashed && return 2
    die "QEMU kept the adapter"
  fi
  # The guest looks for the tool's end every 20 ms, and its answer takes a moment to come: the
  # time is at most that much too long, never too short.
  await_write u 25
  unplug_ms=$((($(date +%s%N) - pulled) / 1000000))
  pulled_rc=$rc
  pulled_said=$said
  guest 5 "left_behind $port"
  left=$guest_out
  guest 5 "[ ! -e /sys/class/tty/ttyUSB0 ]"
  gone=$?
  await_image_end ttyUSB0

  # A new id, so that the plug does not depend on the old one being released yet.
  local adapter='{"driver":"usb-serial","chardev":"usb0","id":"us1"}'
  if ! guest_qmp "{\"execute\":\"device_add\",\"arguments\":$adapter}"; then
    qemu_crashed && return 2
    die "QEMU did not plug the adapter back"
  fi
  if ! guest 30 "await_node $port 20"; then
    qemu_crashed && return 2
    die "no $port after the adapter came back"
  fi
  node=$guest_out
  # That the adapter works again needs no long image: the 20,000 bytes have crossed before.
  guest 5 "start_write r $port /timed.out"
  await_write r 140
  qemu_crashed && return 2

  [ "$pulled_rc" = 1 ] && [[ $pulled_said == *"went away"* ]] && [ -z "$left" ] &&
    [ "$gone" -eq 0 ]
  case_result $? \
    "ttyUSB0: adapter pulled mid-write: exit 1, the port went away, nothing left running" \
    "exit $pulled_rc: $pulled_said${left:+; left running: $left}"
  [ "$pulled_rc" = 1 ] && [ "$unplug_ms" -le 1000 ]
  case_result $? "ttyUSB0: the tool ends within 1 s of the unplug" \
    "$unplug_ms ms from device_del to the tool's end"
  [ "$node" = "root:dialout 660" ] && [ "$rc" = 0 ] && radio_got ttyUSB0 "$timed"
  case_result $? "ttyUSB0: plugged back: a new root:dialout 0660 node, the next write succeeds" \
    "node $node; exit $rc: $said"
}

# QEMU itself may crash during the unplug (a SIGSEGV in its usb_wakeup, a NULL bus, when the
# radio's echo reaches the adapter that device_del is taking away). That is told as QEMU's and
# the case runs once more, on a new guest; a failure of our program is never run again.
unplug_case_once_more_if_qemu_crashed() {
  unplug_case && return
  local signal
  signal=$(guest_qemu_signal)
  echo "drivers: QEMU died by signal $signal during the unplug; not a failure of ours"
  # Its logs kept for a look; the new guest's radios start with fresh ones.
  mkdir -p "$logs/qemu-died"
  mv "$logs"/{console,qemu,qmp,sim-ttyS1,sim-ttyUSB0}.log "$logs/qemu-died/" 2>/dev/null
  local pid
  for pid in "${sim_pids[@]}"; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  sim_pids=()
  images_seen=([ttyS1]=0 [ttyUSB0]=0)
  boot_guest "$work/boot-again"
  unplug_case && return
  case_result 1 "ttyUSB0: adapter pulled mid-write" \
    "QEMU died by signal $(guest_qemu_signal) during the unplug again; the case is unproven"
}

cases_start=$(date +%s.%N)
guest 5 "stat -c '%U:%G %a' /dev/ttyS1"
[ "$guest_out" = "root:dialout 660" ]
case_result $? "ttyS1: node root:dialout 0660, the tool runs as a user of group dialout" \
  "$guest_out"
no_rule_case
rule_case
version_case ttyS1
version_case ttyUSB0
# The kernel writes its console to ttyS0 here, as on many virtual machines: the tool must not
# send the radio's commands there, and says why (run as root, so that only that check refuses).
guest 30 "setsid vannor-cli version --port /dev/ttyS0 </dev/null 2>&1"
console_rc=$?
[ "$console_rc" = 4 ] && [[ $guest_out == *"system console"* ]]
case_result $? "ttyS0: the kernel's console is refused (exit 4, reason)" "exit $console_rc: $guest_out"
# Timed alone, each against the bare loop on its port.
timed_case ttyS1 5
timed_case ttyUSB0 2
ratio=$(paired_ratio "ttyS1 loop 1" "ttyS1 tool 1")
awk -v ratio="$ratio" 'BEGIN { exit !(ratio > 0 && ratio <= 1.10) }'
case_result $? "ttyS1: vannor-cli within 1.10 x of the bare loop at rx_trig_bytes 1 (the median \
of the rounds' ratios)" "$ratio x"
# The UART's write takes longest: the adapter's cases run meanwhile.
write_begin ttyS1
write_begin ttyUSB0
write_finish ttyUSB0
sigterm_case ttyUSB0
write_finish ttyS1
sigterm_case ttyS1
hang_up_case
removal_case
# Last: QEMU may die in it, and then the guest with it.
unplug_case_once_more_if_qemu_crashed
echo "cases took $(elapsed "$cases_start") s"

print_timing
echo "drivers: $passed passed, $failed failed"
echo "drivers: unplug to the tool's end: $unplug_ms ms (bound 1000 ms)"
echo "drivers: stage took $(elapsed "$stage_start") s"
[ "$failed" -eq 0 ]
