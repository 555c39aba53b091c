#!/usr/bin/env bash
# Runs the Wine suite, or the modules named (test_install_failures ...,
# win_unit_tests for the Windows copy of the unit tests, demo for the demo's
# headless walk, whose screenshots land in build/wine-vm/demo-shots, bench for
# the installation benchmark that bench/run.sh install prepared), inside
# a Debian virtual machine under full-system emulation: for a machine whose
# kernel cannot execute 32-bit programs, where Wine cannot start. Run
# scripts/build.sh first. Four to five times slower than Wine on the machine
# itself; by hand, not in the test command. The machine's root (debootstrap,
# Wine) is made once under build/wine-vm and kept.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${TY_BUILD_DIR:-$top/build}
vm=$out/wine-vm
root=$vm/root
modules=("$@")
if [ ${#modules[@]} = 0 ]; then
  modules=($(cd "$top/tests/e2e" && ls test_*.py | sed 's/\.py$//') win_unit_tests)
fi

export DEBIAN_FRONTEND=noninteractive
for tool in qemu-system-x86_64:qemu-system-x86 debootstrap:debootstrap mkfs.ext4:e2fsprogs; do
  command -v "${tool%%:*}" >/dev/null || apt-get install -y -q --no-install-recommends "${tool#*:}"
done
if [ ! -x "$root/usr/bin/wine" ] || [ ! -d "$root/usr/share/doc/fonts-wine" ]; then
  rm -rf "$root"
  debootstrap --variant=minbase --include=linux-image-amd64,kmod,udev,python3,procps \
    bookworm "$root" http://deb.debian.org/debian
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  mount -t proc proc "$root/proc"
  chroot "$root" bash -c 'dpkg --add-architecture i386 && apt-get update -q &&
    apt-get install -y -q --no-install-recommends wine wine32:i386 wine64 fonts-wine xvfb xauth x11-apps \
      imagemagick liblnk-utils'
  umount "$root/proc"
fi

# What the suite reads: its sources, the sample product, the Windows tree and
# the package tool.
rm -rf "$root/work" && mkdir -p "$root/work/main/build/host/tools" "$root/work/main/scripts"
cp -a "$top/tests" "$top/sample" "$root/work/main/"
cp -a "$top/scripts/wine-vm" "$top/scripts/demo.sh" "$top/scripts/ia32.sh" "$top/scripts/demo_walk.py" \
  "$top/scripts/demo_upgrade.py" "$root/work/main/scripts/"
cp -a "$out/win" "$out/win-tests" "$root/work/main/build/"
if [ -d "$out/bench" ]; then
  cp -a "$top/bench" "$root/work/main/"
  cp -a "$out/bench" "$root/work/main/build/"
  echo "${TY_BENCH_RUNS:-21}" > "$root/work/bench-rounds"
fi
cp -a "$out/host/tools/typack" "$root/work/main/build/host/tools/"
install -m 755 "$top/scripts/wine-vm/init.sh" "$root/run-e2e.sh"
printf '%s\n' "${modules[@]}" > "$root/work/tests-to-run"
# The driver's own waits stretched as the harness's clock is.
sed -i 's/int(timeout \* 1000)/int(timeout * 8000)/' "$root/work/main/tests/e2e/harness.py"
rm -f "$vm/disk.img"
mkfs.ext4 -q -F -d "$root" "$vm/disk.img" 14G

# Full-system emulation: the emulator's supervisor-mode access checks fail
# 32-bit user code's iret under SMAP and protection keys, so both are off.
kernel=$(ls "$root"/boot/vmlinuz-* | head -n 1)
initrd=$(ls "$root"/boot/initrd.img-* | head -n 1)
qemu-system-x86_64 -machine q35 -cpu max,-smap,-pku -smp "$(nproc)" -m 6G -accel tcg,thread=multi \
  -kernel "$kernel" -initrd "$initrd" \
  -append "root=/dev/vda rw console=ttyS0 init=/run-e2e.sh quiet nosmap panic=5" \
  -drive file="$vm/disk.img",format=raw,if=virtio -display none \
  -serial file:"$vm/console.log" -monitor none -no-reboot
cat "$vm/console.log"
# The demo's screenshots, out of the machine's disk.
rm -rf "$vm/demo-shots"
debugfs -R "rdump /work/main/build/demo-shots $vm" "$vm/disk.img" 2>/dev/null || true
failed=$(grep -c '^=== .* exit [1-9]' "$vm/console.log" || true)
grep -q '^=== done' "$vm/console.log" && [ "$failed" = 0 ]
