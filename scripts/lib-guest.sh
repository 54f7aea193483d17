# Shared by test-drivers.sh: a small Linux guest under QEMU (software emulation) that runs
# Debian's own kernel, so that the kernel's real serial drivers serve the tool. The guest has a
# 16550 UART (/dev/ttyS1, driver 8250) and an FTDI USB-serial adapter (/dev/ttyUSB0, driver
# ftdi_sio); the far end of each is a pseudo-terminal on this machine. Source it, then:
#
#   guest_kernel                       prints the cached kernel's folder (fetched once)
#   guest_initramfs KERNEL OUT FILE... builds the guest's initramfs holding FILE... and udev
#                                      with the vannor package's rule
#   guest_boot KERNEL INITRD WORK LOGS starts QEMU; sets guest_pty_s1 and guest_pty_usb0
#   guest_wait_ready SECONDS           returns once the guest takes commands
#   guest SECONDS COMMAND              runs COMMAND in the guest's shell; output in $guest_out
#   guest_qmp JSON                     sends a QMP command; the reply in $guest_out
#   guest_qemu_ended                   whether QEMU has ended; its exit status then in
#                                      $guest_qemu_status
#   guest_qemu_signal                  prints the signal that ended QEMU, if one did (not ours)
#   guest_stop                         powers the guest off (kills QEMU if it does not go)
#
# A guest that does not answer ends the calling script, unless QEMU itself has ended and the
# caller set guest_survive_qemu=1: `guest` then returns 255, and the caller asks how it ended.
#
# The kernel package is fetched with `apt-get download` into ${VANNOR_CACHE:-~/.cache/vannor}
# (XDG_CACHE_HOME is honoured), in a folder named after the package and its version, unpacked
# with dpkg-deb and never installed.

GUEST_MODULES=(usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio)
guest_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

guest_fail() {
  echo "drivers: $*" >&2
  return 1
}

# The module file NAME.ko (or compressed) in an unpacked kernel package; '-' and '_' are the same.
guest_module_file() {
  local root=$1 name=$2
  find "$root/lib/modules" \( -name "$name.ko*" -o -name "${name//-/_}.ko*" -o \
    -name "${name//_/-}.ko*" \) -print -quit
}

# Copies module NAME and, first, the modules it depends on into DIR as plain .ko files, and
# appends their names to DIR/order in the order they must be loaded.
guest_take_module() {
  local root=$1 dir=$2 name=$3 file plain dep
  grep -qx -- "$name" "$dir/order" 2>/dev/null && return 0
  file=$(guest_module_file "$root" "$name")
  [ -n "$file" ] || guest_fail "module $name is not in the kernel package" || return 1
  plain=$dir/$name.ko
  # busybox's insmod loads plain modules only; newer kernel packages compress them.
  case $file in
    *.ko) cp "$file" "$plain" ;;
    *.ko.xz) busybox xzcat "$file" >"$plain" ;;
    *.ko.gz) gzip -dc "$file" >"$plain" ;;
    *.ko.zst)
      command -v zstd >/dev/null || guest_fail "$file needs zstd to unpack" || return 1
      zstd -qdc "$file" >"$plain"
      ;;
    *) guest_fail "cannot unpack $file" || return 1 ;;
  esac
  # A module's .modinfo section names what it needs as "depends=a,b".
  for dep in $(tr '\0' '\n' <"$plain" | sed -n 's/^depends=//p' | tr ',' ' '); do
    guest_take_module "$root" "$dir" "$dep" || return 1
  done
  echo "$name" >>"$dir/order"
}

# Runs in a subshell of its own, so that its temporary folder goes whichever way it ends.
guest_kernel() (
  cache=${VANNOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vannor}
  # linux-image-amd64 depends on the current kernel package of the release.
  package=$(apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: \(linux-image-[^ ]*-amd64\)$/\1/p' | head -n 1)
  version=""
  if [ -n "$package" ]; then
    version=$(apt-cache policy "$package" 2>/dev/null | sed -n 's/^ *Candidate: //p')
  fi
  if [ -z "$package" ] || [ -z "$version" ] || [ "$version" = "(none)" ]; then
    # No package index: a kernel fetched before still serves.
    dir=""
    for found in "$cache"/kernel-linux-image-*; do
      [ -f "$found/ready" ] && dir=$found
    done
    [ -n "$dir" ] || guest_fail "apt knows no package linux-image-amd64 (run apt-get update)" \
      "and $cache holds no kernel" || exit 1
    echo "drivers: apt knows no kernel package; using the cached $dir" >&2
    echo "$dir"
    exit 0
  fi
  dir=$cache/kernel-$package-$version
  if [ -f "$dir/ready" ]; then
    echo "$dir"
    exit 0
  fi
  echo "drivers: fetching $package $version into $dir" >&2
  mkdir -p "$cache" || exit 1
  work=$(mktemp -d "$cache/fetch.XXXXXX") || exit 1
  trap 'rm -rf "$work"' EXIT
  if ! (cd "$work" && apt-get download "$package=$version") >"$work/apt.log" 2>&1; then
    cat "$work/apt.log" >&2
    guest_fail "cannot download $package $version"
    exit 1
  fi
  dpkg-deb -x "$work"/*.deb "$work/root" && mkdir -p "$work/kernel/modules" &&
    cp "$work"/root/boot/vmlinuz-* "$work/kernel/vmlinuz" ||
    { guest_fail "cannot unpack $package" || exit 1; }
  for module in "${GUEST_MODULES[@]}"; do
    guest_take_module "$work/root" "$work/kernel/modules" "$module" || exit 1
  done
  echo "$package $version" >"$work/kernel/ready"
  rm -rf "$dir"
  mv "$work/kernel" "$dir" || exit 1
  echo "$dir"
)

# guest_initramfs KERNEL OUT FILE...: busybox, the modules, the guest's /init and its
# configuration, and each FILE in / (programs stripped, with the shared libraries ldd names).
guest_initramfs() {
  local kernel=$1 out=$2 root applet file lib
  shift 2
  # Beside OUT, so that whoever cleans up after OUT takes it too.
  root=$(mktemp -d "$(dirname "$out")/root.XXXXXX") || return 1
  # The guest's / itself: mktemp's 0700 would keep the user out of everything.
  chmod 755 "$root"
  mkdir -p "$root"/{bin,dev,proc,sys,run,tmp,etc,lib/modules,usr/lib/udev/rules.d,pkg}
  cp "$(command -v busybox)" "$root/bin/busybox"
  for applet in $(busybox --list); do
    [ "$applet" = busybox ] || ln -s busybox "$root/bin/$applet"
  done
  cp "$kernel"/modules/*.ko "$kernel/modules/order" "$root/lib/modules/"
  cp "$guest_repo/tests/drivers/guest-init.sh" "$root/init"
  chmod 755 "$root/init"
  # The user runs the tool; the serial nodes are root:dialout 0660, as udev makes them.
  printf 'root:x:0:0:root:/root:/bin/sh\ntech:x:1000:1000:tech:/tmp:/bin/sh\n' >"$root/etc/passwd"
  printf 'root:x:0:\ntty:x:5:\ndialout:x:20:tech\ntech:x:1000:\n' >"$root/etc/group"
  cat >"$root/etc/mdev.conf" <<'EOF'
null 0:0 666
zero 0:0 666
full 0:0 666
random 0:0 666
urandom 0:0 666
tty 0:5 666
ptmx 0:5 666
ttyS[0-9]* 0:20 660
ttyUSB[0-9]* 0:20 660
EOF
  # udev, and what the vannor package adds to it, to install as dpkg does: the rule, and the
  # package's own scripts that apply and withdraw it.
  cp "$guest_repo"/packaging/udev/{60-vannor-rx-trigger.rules,postinst,postrm} "$root/pkg/"
  ln -s udevadm "$root/bin/systemd-udevd"
  for file in "$(command -v udevadm)" "$@"; do
    if [ "$(od -An -tx1 -N4 "$file" | tr -d ' ')" = 7f454c46 ]; then
      strip -o "$root/bin/$(basename "$file")" "$file"
      for lib in $(ldd "$file" 2>/dev/null | grep -o '/[^ ]*'); do
        mkdir -p "$root$(dirname "$lib")"
        cp -L "$lib" "$root$lib"
      done
    else
      cp "$file" "$root/"
    fi
  done
  # Owned by root whoever builds it; gzip -1: the guest unpacks it under emulation.
  (cd "$root" && find . | busybox cpio -o -H newc -R 0:0 2>/dev/null) | gzip -1 >"$out"
  local status=$?
  rm -rf "$root"
  return "$status"
}

# guest_boot KERNEL INITRD WORK LOGS: FIFOs in WORK, logs (console, QEMU, QMP) in LOGS.
guest_boot() {
  local kernel=$1 initrd=$2 work=$3 logs=$4
  guest_logs=$logs
  mkfifo "$work/con.in" "$work/con.out" "$work/qmp.in" "$work/qmp.out" || return 1
  # Opened read-write: a FIFO opened so never blocks, whichever side comes first.
  exec {guest_con_in}<>"$work/con.in" {guest_con_out}<>"$work/con.out"
  exec {guest_qmp_in}<>"$work/qmp.in" {guest_qmp_out}<>"$work/qmp.out"
  : >"$logs/console.log"
  : >"$logs/qmp.log"
  # -nodefaults: no display, network or disks, only the devices named here. ttyS0 is the
  # console, ttyS1 the UART under test; the adapter sits on an xHCI controller.
  qemu-system-x86_64 -accel tcg -nodefaults -display none -no-reboot -m 256 \
    -kernel "$kernel/vmlinuz" -initrd "$initrd" \
    -append "console=ttyS0 quiet panic=-1" \
    -chardev pipe,id=con,path="$work/con" -serial chardev:con \
    -chardev pty,id=s1 -serial chardev:s1 \
    -device qemu-xhci -chardev pty,id=usb0 -device usb-serial,chardev=usb0,id=us0 \
    -chardev pipe,id=qmp,path="$work/qmp" -mon chardev=qmp,mode=control \
    >"$logs/qemu.log" 2>&1 &
  guest_qemu_pid=$!
  guest_qemu_status=""
  guest_qemu_killed=0
  guest_started=$SECONDS
  # QEMU names each pseudo-terminal it made: "char device redirected to /dev/pts/N (label s1)".
  guest_pty_of() { sed -n "s|.*redirected to \(/dev/pts/[0-9]*\) (label $1).*|\1|p" "$logs/qemu.log"; }
  local _
  for _ in $(seq 100); do
    guest_pty_s1=$(guest_pty_of s1)
    guest_pty_usb0=$(guest_pty_of usb0)
    [ -n "$guest_pty_s1" ] && [ -n "$guest_pty_usb0" ] && break
    kill -0 "$guest_qemu_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$guest_pty_s1" ] || [ -z "$guest_pty_usb0" ]; then
    cat "$logs/qemu.log" >&2
    guest_fail "QEMU did not start"
    return 1
  fi
  guest_qmp '{"execute":"qmp_capabilities"}'
}

# Reads console lines into the log until one starts with MARK; that line in $guest_line.
guest_read_until() {
  local mark=$1 seconds=$2 line partial="" deadline
  deadline=$((SECONDS + seconds))
  guest_line=""
  while [ "$SECONDS" -lt "$deadline" ]; do
    if IFS= read -r -t 1 -u "$guest_con_out" line; then
      line=$partial${line%$'\r'}
      partial=""
      printf '%s\n' "$line" >>"$guest_logs/console.log"
      case $line in
        "$mark"*)
          guest_line=$line
          return 0
          ;;
      esac
      guest_out+="$line"$'\n'
    else
      # A time-out keeps what came of a line so far.
      partial+=$line
      guest_qemu_ended || continue
      guest_fail "$(guest_qemu_end)"
      return 1
    fi
  done
  guest_fail "the guest said nothing for ${seconds} s (see $guest_logs/console.log)"
}

guest_wait_ready() {
  guest_out=""
  guest_read_until "@@ready" "$1"
}

# guest SECONDS COMMAND: the command's exit status. COMMAND is one line. A guest that does not
# answer in time ends the calling script: what it answers later would be taken for the
# answers to the commands after.
guest() {
  local seconds=$1
  shift
  guest_out=""
  printf '%s\n' "$*" >&"$guest_con_in"
  printf '# [%d s] %s\n' "$((SECONDS - guest_started))" "$*" >>"$guest_logs/console.log"
  if ! guest_read_until "@@end " "$seconds"; then
    guest_fail "no answer to '$*'"
    # Nothing can answer late once QEMU has gone.
    [ "${guest_survive_qemu:-0}" = 1 ] && guest_qemu_ended && return 255
    exit 1
  fi
  guest_out=${guest_out%$'\n'}
  return "${guest_line#@@end }"
}

guest_qmp() {
  local line deadline=$((SECONDS + 10))
  guest_out=""
  printf '%s\n' "$1" >&"$guest_qmp_in"
  printf '> %s\n' "$1" >>"$guest_logs/qmp.log"
  while [ "$SECONDS" -lt "$deadline" ]; do
    if ! IFS= read -r -t 1 -u "$guest_qmp_out" line; then
      guest_qemu_ended || continue
      guest_fail "$(guest_qemu_end) before it answered $1"
      return 1
    fi
    printf '%s\n' "$line" >>"$guest_logs/qmp.log"
    case $line in
      *'"return"'* | *'"error"'*)
        guest_out=$line
        case $line in *'"error"'*) return 1 ;; esac
        return 0
        ;;
    esac
  done
  guest_fail "QEMU did not answer $1"
}

# Whether QEMU has ended. Its exit status is kept (128 + N: signal N ended it) once it has.
guest_qemu_ended() {
  [ -n "${guest_qemu_pid:-}" ] || return 0
  kill -0 "$guest_qemu_pid" 2>/dev/null && return 1
  # The shell has reaped it already (kill -0 fails only then) and keeps its status for wait.
  wait "$guest_qemu_pid" 2>/dev/null
  guest_qemu_status=$?
  guest_qemu_pid=""
  return 0
}

guest_qemu_signal() {
  [ -n "${guest_qemu_status:-}" ] && [ "$guest_qemu_status" -gt 128 ] &&
    [ "${guest_qemu_killed:-0}" = 0 ] && echo $((guest_qemu_status - 128))
}

# How QEMU ended, in words; logs of its own (qemu.log) rarely say more.
guest_qemu_end() {
  local signal
  signal=$(guest_qemu_signal)
  if [ -n "$signal" ]; then
    echo "QEMU died by signal $signal"
  else
    echo "QEMU has ended (exit status ${guest_qemu_status:-unknown})"
  fi
}

guest_stop() {
  [ -n "${guest_qemu_pid:-}" ] || return 0
  if kill -0 "$guest_qemu_pid" 2>/dev/null; then
    printf 'poweroff -f\n' >&"$guest_con_in" 2>/dev/null
    local _
    for _ in $(seq 50); do
      kill -0 "$guest_qemu_pid" 2>/dev/null || break
      sleep 0.1
    done
    # Its end by our signal is no crash of its own.
    kill "$guest_qemu_pid" 2>/dev/null && guest_qemu_killed=1
  fi
  wait "$guest_qemu_pid" 2>/dev/null
  guest_qemu_status=$?
  guest_qemu_pid=""
}
