#!/bin/bash
# The virtual machine's first process. The host shares its checkout and its
# build folder with the machine (9p tags "top" and "out"), mounted here at
# the same paths as on the host, given on the kernel's command line as
# ty_top= and ty_out=; then the checkout's own init.sh takes over, so that
# what runs in the machine is never older than the checkout.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
# The initial RAM disk may have mounted these already.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
exec >/dev/ttyS0 2>&1
off() { echo "boot: $1"; sync; echo o >/proc/sysrq-trigger; sleep 30; }
echo 1 >/proc/sys/kernel/sysrq
for word in $(cat /proc/cmdline); do
  case "$word" in ty_top=*|ty_out=*) export "${word?}" ;; esac
done
[ -n "${ty_top:-}" ] && [ -n "${ty_out:-}" ] || off "no ty_top= or ty_out= on the command line"
modprobe -a 9pnet_virtio 9p || off "no 9p support"
for share in top out; do
  path=ty_$share
  mkdir -p "${!path}" &&
    mount -t 9p -o trans=virtio,version=9p2000.L,msize=1048576 "$share" "${!path}" ||
    off "cannot mount the host's $share at ${!path}"
done
exec bash "$ty_top/scripts/wine-vm/init.sh"
