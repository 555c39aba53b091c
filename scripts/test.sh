#!/usr/bin/env bash
# Every test: sets up the machine, builds the trees, runs the unit tests
# under ThreadSanitizer, then ctest in the host tree (unit tests, tool tests,
# fuzzing run, Wine end-to-end suite).
#
# The Wine suite (labels e2e and wine) runs on every machine: with the
# machine's own Wine where its kernel executes 32-bit programs, otherwise in
# the virtual machine of scripts/wine-vm.sh, all of it in one boot before
# ctest, which then reports each of its tests under its own name from that
# run. A run that could not run them fails; it never passes without them.
#   TY_WINE=native   the machine's own Wine (fails where it cannot run)
#   TY_WINE=vm       the virtual machine (TY_VM_ACCEL=kvm or tcg chooses how)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${TY_BUILD_DIR:-$top/build}
bash "$top/scripts/setup.sh"
TY_BUILD_DIR=$out bash "$top/scripts/build.sh"

. "$top/scripts/ia32.sh"
wine=$(wine_path)
if [ "$wine" = vm ]; then
  echo "test: the Wine suite runs in the virtual machine (scripts/wine-vm.sh)"
  # Its failures are ctest's to report, test by test, below.
  TY_BUILD_DIR=$out bash "$top/scripts/wine-vm.sh" suite ||
    echo "test: the virtual machine's run of the Wine suite did not pass" >&2
  export TY_WINE_VM_RESULTS=$out/wine-vm/results
else
  unset TY_WINE_VM_RESULTS
fi

# The unit tests under ThreadSanitizer: any report of a race fails the run.
TSAN_OPTIONS="halt_on_error=1" "$out/host-tsan/tests/unit/ty_unit_tests" --gtest_brief=1
ctest --test-dir "$out/host" --output-on-failure -j "$(nproc)"
