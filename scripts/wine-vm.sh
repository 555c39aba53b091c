#!/usr/bin/env bash
# Runs Wine inside a Debian virtual machine, for a machine whose kernel
# cannot execute 32-bit programs (where Wine cannot start), or on any
# machine with TY_WINE=vm given to scripts/test.sh. Run scripts/build.sh
# first.
#
#   scripts/wine-vm.sh [suite] [NAME ...]   the Wine suite's ctest tests (all
#                           of labels e2e and wine, or those named), in one
#                           boot, as many at a time as there are processors;
#                           each test's output and exit code land in
#                           build/wine-vm/results, where ctest reports them
#                           from (TY_WINE_VM_RESULTS, set by scripts/test.sh)
#   scripts/wine-vm.sh demo [--upgrade]   the demo's headless walk
#   scripts/wine-vm.sh bench      the installation benchmark (bench/run.sh)
#
#   TY_VM_ACCEL       kvm or tcg; by default kvm where /dev/kvm makes a machine
#                     that boots, tcg (full emulation) otherwise
#   TY_E2E_SLOWDOWN   how many times longer the suite's waits are; by
#                     default 2 under kvm, 8 under tcg
#   TY_VM_CACHE       where the machine's root is kept (/var/cache/ty-wine-vm)
#
# The root (debootstrap, Wine, fonts, Xvfb: scripts/wine-vm/root.sh) is built
# once per machine and kept in the cache under a hash of its recipe, so a
# fresh clone reuses it and a changed recipe builds a new one. The machine
# sees the checkout and the build folder at their own paths (9p), and writes
# into a scratch disk of its own that each boot makes anew.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${TY_BUILD_DIR:-$top/build}" && cd "${TY_BUILD_DIR:-$top/build}" && pwd)
vm=$out/wine-vm
cache=${TY_VM_CACHE:-/var/cache/ty-wine-vm}
here=$top/scripts/wine-vm

job=(suite)
case "${1:-}" in
  suite) shift ;;
  demo|bench) job=("$@"); set -- ;;
esac
job+=("$@")

case "$top$out" in
  *[[:space:]]*) echo "wine-vm: the checkout's and build folder's paths must hold no blank" \
                      "(they go on the machine's kernel command line): $top, $out" >&2; exit 1 ;;
esac

export DEBIAN_FRONTEND=noninteractive
for tool in qemu-system-x86_64:qemu-system-x86 debootstrap:debootstrap mkfs.ext4:e2fsprogs; do
  command -v "${tool%%:*}" >/dev/null ||
    apt-get install -y -q --no-install-recommends "${tool#*:}" >/dev/null
done

# The root, made once per recipe; what an interrupted build left is redone.
recipe=$(cat "$here/root.sh" "$here/boot.sh" | sha256sum | cut -c1-16)
base=$cache/$recipe
if [ ! -f "$base/ready" ]; then
  echo "wine-vm: building the machine's root in $base (once per recipe)"
  rm -rf "$base" && mkdir -p "$base"
  bash "$here/root.sh" "$base/root" >"$base/build.log" 2>&1 ||
    { tail -n 30 "$base/build.log" >&2; echo "wine-vm: the root could not be built" \
        "(log: $base/build.log)" >&2; exit 1; }
  cp "$(ls "$base"/root/boot/vmlinuz-* | head -n 1)" "$base/vmlinuz"
  cp "$(ls "$base"/root/boot/initrd.img-* | head -n 1)" "$base/initrd.img"
  mkfs.ext4 -q -F -L ty-root -d "$base/root" "$base/root.img" 6G
  rm -rf "$base/root"
  touch "$base/ready"
  # Older recipes' roots are not used again.
  find "$cache" -mindepth 1 -maxdepth 1 -type d ! -name "$recipe" -exec rm -rf {} +
fi

kvm_usable() {
  [ -e /dev/kvm ] && python3 -c "
import fcntl, os
fd = os.open('/dev/kvm', os.O_RDWR)
os.close(fcntl.ioctl(fd, 0xAE01, 0))  # KVM_CREATE_VM
" 2>/dev/null
}
accel=${TY_VM_ACCEL:-}
chosen=given
[ -n "$accel" ] || { chosen=auto; if kvm_usable; then accel=kvm; else accel=tcg; fi; }
case "$accel" in
  kvm|tcg) ;;
  *) echo "wine-vm: TY_VM_ACCEL is kvm or tcg, not '$accel'" >&2; exit 2 ;;
esac

# What the machine is to do, and where it answers.
mkdir -p "$vm"
rm -rf "$vm/results" && mkdir -p "$vm/results"
if [ "${job[0]}" = suite ]; then
  ctest --test-dir "$out/host" -L '(e2e|wine)' --show-only=json-v1 >"$vm/tests.json"
fi
rm -f "$vm/scratch.img"
truncate -s 40G "$vm/scratch.img"
mkfs.ext4 -q -F -L ty-scratch "$vm/scratch.img"

# Boots the machine with $accel and waits for it to switch itself off. A
# /dev/kvm that makes machines but cannot run them (seen under nested
# virtualisation: the guest never prints a line) gives up after 30 s.
boot() {
  local machine slowdown=${TY_E2E_SLOWDOWN:-}
  case "$accel" in
    # The emulator's supervisor-mode access checks fail 32-bit user code's
    # iret under SMAP and protection keys, so under tcg both are off.
    tcg) machine=(-accel tcg,thread=multi -cpu max,-smap,-pku); slowdown=${slowdown:-8} ;;
    kvm) machine=(-accel kvm -cpu host,-arch-capabilities); slowdown=${slowdown:-2} ;;
  esac
  printf '%s\n' "TY_E2E_SLOWDOWN=$slowdown TY_BENCH_RUNS=${TY_BENCH_RUNS:-21}" "${job[@]}" >"$vm/job"
  echo "wine-vm: booting ($accel, $(nproc) processors, waits ${slowdown}x): ${job[*]}"
  : >"$vm/console.log"
  qemu-system-x86_64 -machine q35 "${machine[@]}" -smp "$(nproc)" -m 10G \
    -kernel "$base/vmlinuz" -initrd "$base/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 init=/ty-boot quiet nosmap panic=5 ty_top=$top ty_out=$out" \
    -drive file="$base/root.img",format=raw,if=virtio,snapshot=on \
    -drive file="$vm/scratch.img",format=raw,if=virtio \
    -virtfs local,path="$top",mount_tag=top,security_model=none \
    -virtfs local,path="$out",mount_tag=out,security_model=none \
    -display none -serial file:"$vm/console.log" -monitor none -no-reboot &
  local qemu=$! code=0
  if [ "$accel" = kvm ]; then
    for _ in $(seq 30); do
      [ -s "$vm/console.log" ] || ! kill -0 "$qemu" 2>/dev/null && break
      sleep 1
    done
    if [ ! -s "$vm/console.log" ] && kill -0 "$qemu" 2>/dev/null; then
      kill "$qemu"; wait "$qemu" || true
      echo "wine-vm: under kvm the machine printed nothing within 30 s" >&2
      return 3
    fi
  fi
  tail -n +1 -f --pid="$qemu" "$vm/console.log" &
  local tail_pid=$!
  wait "$qemu" || code=$?
  wait "$tail_pid" || true
  return "$code"
}

started=$(date +%s)
code=0
boot || code=$?
if [ "$code" = 3 ] && [ "$chosen" = auto ]; then
  echo "wine-vm: full emulation (tcg) instead" >&2
  accel=tcg code=0
  boot || code=$?
fi
rm -f "$vm/scratch.img"
echo "wine-vm: the machine ran $(( $(date +%s) - started )) s"
if [ "$code" != 0 ]; then
  echo "wine-vm: the emulator ended with $code" >&2
  exit 1
fi
grep -q '^=== done' "$vm/console.log" ||
  { echo "wine-vm: the machine stopped before its job was done" >&2; exit 1; }
[ -z "$(ls "$vm/results"/*.failed 2>/dev/null)" ]
