#!/bin/bash
# The virtual machine's first and only process: runs the Wine suite's modules
# named in /work/tests-to-run and switches the machine off.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc; mount -t sysfs sys /sys 2>/dev/null; mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm; mount -t devpts devpts /dev/pts; mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp; mount -o remount,rw /
echo 1 > /proc/sys/kernel/sysrq
exec > /dev/ttyS0 2>&1
export HOME=/root PYTHONDONTWRITEBYTECODE=1 PYTHONPATH=/work/main/scripts/wine-vm
export TY_E2E_WIN_DIR=/work/main/build/win TY_E2E_OUT=/work/main/build/host/e2e-out
export TY_E2E_PREFIXES=/work/main/build/host/e2e-prefixes TY_TYPACK=/work/main/build/host/tools/typack
cd /work/main/tests/e2e
python3 harness.py make-template; echo "=== template exit $?"
for module in $(cat /work/tests-to-run); do
  if [ "$module" = demo ]; then
    # The demo's headless walk, whose screenshots are the README's pictures.
    TY_DEMO_TIMEOUT=600 timeout 3600 bash /work/main/scripts/demo.sh --no-build
  elif [ "$module" = bench ]; then
    # The installation benchmark, its payload and yardsticks made outside.
    b=/work/main/build/bench
    timeout 7200 python3 /work/main/bench/ty_bench_install.py --win-dir /work/main/build/win \
      --payload-dir $b/payload --installer $b/payload.exe --work $b/install \
      --rounds "$(cat /work/bench-rounds)"
  elif [ "$module" = win_unit_tests ]; then
    # The Windows copy of the unit tests, as ctest's test of that name runs it.
    timeout 3600 python3 ../win/run_win_unit_tests.py \
      /work/main/build/win-tests/tests/win/ty_unit_tests_win.exe
  else
    timeout 3600 python3 -m unittest -v "$module"
  fi
  echo "=== $module exit $?"
done
sync; echo "=== done"; echo o > /proc/sysrq-trigger; sleep 30
