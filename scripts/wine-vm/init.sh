#!/bin/bash
# What the virtual machine does once boot.sh has mounted the host's checkout
# ($ty_top) and build folder ($ty_out): the job that scripts/wine-vm.sh wrote
# into $ty_out/wine-vm/job (its first line the settings, then the job's
# words), then it switches itself off. Wine prefixes live on the machine's
# own scratch disk, never in the host's shared folders.
set -u
mkdir -p /dev/pts /dev/shm /scratch
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
# /tmp stays the root disk's (a snapshot the machine throws away): a memory
# file system there would hide a checkout that lies under /tmp.
mount /dev/vdb /scratch
export HOME=/root PYTHONDONTWRITEBYTECODE=1 LANG=C.UTF-8
vm=$ty_out/wine-vm
{ read -r settings; mapfile -t job; } <"$vm/job"
export $settings
echo "=== $(nproc) processors, $(free -g | awk '/^Mem/ {print $2}') GiB: ${job[*]}"

# A folder of the host's build tree that a program fills with a Wine prefix
# is the scratch disk's instead.
local_folder() { mkdir -p "/scratch/$2" "$1" && mount --bind "/scratch/$2" "$1"; }

case "${job[0]}" in
  suite)
    python3 "$ty_top/scripts/wine-vm/run_suite.py" "$vm/tests.json" "$vm/results" /scratch \
      "${job[@]:1}"
    ;;
  demo)
    local_folder "$ty_out/demo-prefix" demo-prefix
    code=0
    TY_WINE=native TY_BUILD_DIR=$ty_out TY_DEMO_TIMEOUT=$((60 * TY_E2E_SLOWDOWN)) \
      bash "$ty_top/scripts/demo.sh" --no-build "${job[@]:1}" || code=$?
    [ "$code" = 0 ] || touch "$vm/results/demo.failed"
    echo "=== demo exit $code"
    ;;
  bench)
    # The installation benchmark; its payload and yardsticks made outside.
    b=$ty_out/bench
    local_folder "$b/install/prefixes" bench-prefixes
    code=0
    python3 "$ty_top/bench/ty_bench_install.py" --win-dir "$ty_out/win" \
      --payload-dir "$b/payload" --installer "$b/payload.exe" --work "$b/install" \
      --rounds "${TY_BENCH_RUNS:-21}" || code=$?
    [ "$code" = 0 ] || touch "$vm/results/bench.failed"
    echo "=== bench exit $code"
    ;;
esac
sync; echo "=== done"; echo o >/proc/sysrq-trigger; sleep 30
