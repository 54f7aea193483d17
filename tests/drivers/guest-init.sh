#!/bin/sh
# The first process of the driver test's guest (busybox sh). Readies the system as a laptop's
# would be: the serial nodes root:dialout 0660 from the hot-plug helper, the USB modules
# loaded. Then runs each line that comes on the console, answering "@@end STATUS". The helpers
# below run the tool as the user "tech", who is in group dialout.
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs -o mode=1777 tmpfs /tmp
mount -t tmpfs -o mode=755 tmpfs /run
# Kernel messages (the adapter coming and going) would cut into the answers.
dmesg -n 1
# mdev makes or fixes each node by /etc/mdev.conf: for every event from now on, and for the
# nodes that are there already.
uevent mdev &
mdev -s
for module in $(cat /lib/modules/order); do
  insmod "/lib/modules/$module.ko" || echo "@@insmod $module failed"
done
# udev's daemon besides, as a Debian system runs it, with no rule of its own (mdev keeps the
# nodes): what it does by itself to the devices there are is done before any case looks.
systemd-udevd --daemon --resolve-names=never >/dev/null 2>&1 || echo "@@udev did not start"
udevadm trigger --action=add >/dev/null 2>&1
udevadm settle --timeout=60 || echo "@@udev did not settle"
stty -F /dev/console -echo

LATENCY=/sys/bus/usb-serial/devices/ttyUSB0/latency_timer
TRIGGER=/sys/class/tty/ttyS1/rx_trig_bytes


# install_rule: the vannor package's udev rule, installed as dpkg does: the file, then the
# package's postinst.
install_rule() {
  cp /pkg/60-vannor-rx-trigger.rules /usr/lib/udev/rules.d/ &&
    /pkg/postinst configure &&
    udevadm settle --timeout=60
}

# remove_rule: the package removed as dpkg does: the file goes, then the package's postrm.
# udev is then asked to apply its rules to the serial ports again, as any later event does.
remove_rule() {
  rm /usr/lib/udev/rules.d/60-vannor-rx-trigger.rules &&
    /pkg/postrm remove &&
    udevadm control --reload &&
    udevadm trigger --action=change --subsystem-match=tty &&
    udevadm settle --timeout=60
}

# permissions_of DIR...: every file's mode, owner and group, one line each, in a stable order.
permissions_of() {
  find "$@" -exec stat -c '%a %U:%G %n' {} + 2>/dev/null | sort
}

# centiseconds: the time since boot, in hundredths of a second.
centiseconds() {
  read -r up _ </proc/uptime
  echo "${up%.*}${up#*.}"
}

# timed_as_user COMMAND: runs a shell command as the user; prints its exit status and the time
# it took in hundredths of a second on the first line, then its output.
timed_as_user() {
  start=$(centiseconds)
  as_user "$1" >/tmp/timed.out 2>&1 </dev/null
  rc=$?
  echo "$rc $(($(centiseconds) - start))"
  cat /tmp/timed.out
}

# as_user COMMAND: runs a shell command as the user; its exit status is the command's.
as_user() {
  su -s /bin/sh tech -c "$1"
}

# await_node DEVICE SECONDS: waits until the node is there; prints its owner, group and mode.
await_node() {
  n=0
  until [ -e "$1" ]; do
    [ "$n" -lt "$(($2 * 20))" ] || return 1
    usleep 50000
    n=$((n + 1))
  done
  # mdev may still be fixing a node that the kernel has just made.
  usleep 200000
  stat -c '%U:%G %a' "$1"
}

# start_write TAG PORT [IMAGE]: the tool writes IMAGE (/image.out) on PORT in the background; its
# pid, exit status and output (progress, then the outcome) go to /tmp/TAG.pid, .rc and .out. The
# status is written aside and renamed, so that .rc is never seen before it holds it.
start_write() {
  rm -f "/tmp/$1".*
  as_user "vannor-cli write --dsp1 --dsp2 --port $2 ${3:-/image.out} >/tmp/$1.out 2>&1 &
           echo \$! >/tmp/$1.pid
           wait \$!
           echo \$? >/tmp/$1.status && mv /tmp/$1.status /tmp/$1.rc" </dev/null >/dev/null 2>&1 &
}

# await_progress TAG: returns once the write has passed a tenth of the image (or ended).
await_progress() {
  n=0
  until grep -q ' 10% ' "/tmp/$1.out" 2>/dev/null || [ -e "/tmp/$1.rc" ]; do
    [ "$n" -lt 1200 ] || return 1
    usleep 50000
    n=$((n + 1))
  done
}

# await_exit TAG SECONDS: waits for the write to end; prints its exit status and its output.
await_exit() {
  n=0
  until [ -e "/tmp/$1.rc" ]; do
    [ "$n" -lt "$(($2 * 50))" ] || return 1
    usleep 20000
    n=$((n + 1))
  done
  cat "/tmp/$1.rc" "/tmp/$1.out"
}

# left_behind PORT: the tool's processes on PORT still there, if any.
left_behind() {
  for pid in $(pidof vannor-cli); do
    tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q -- "--port $1 " && echo "$pid"
  done
  true
}

echo "@@ready"
while IFS= read -r line; do
  eval "$line"
  echo "@@end $?"
done
poweroff -f
