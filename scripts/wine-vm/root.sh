#!/usr/bin/env bash
# Builds the virtual machine's root into the folder given: Debian 12 with
# Wine, its fonts, Xvfb and what the suite reads screenshots and links with,
# and boot.sh as the machine's first process. scripts/wine-vm.sh runs it
# once per machine and keeps the result under a hash of this file and
# boot.sh: a change to either builds a new root.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$1
mirror=http://deb.debian.org/debian

debootstrap --variant=minbase --include=linux-image-amd64,kmod,udev,python3,procps \
  bookworm "$root" "$mirror"
# The same suites as the machine's own, so that Wine is the same version.
cat > "$root/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
SOURCES
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
trap 'umount "$root/proc"' EXIT
chroot "$root" bash -c 'export DEBIAN_FRONTEND=noninteractive &&
  dpkg --add-architecture i386 && apt-get update -q &&
  apt-get install -y -q --no-install-recommends wine wine32:i386 wine64 fonts-wine \
    xvfb xauth x11-apps imagemagick liblnk-utils && apt-get clean'
install -m 755 "$here/boot.sh" "$root/ty-boot"
