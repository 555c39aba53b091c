#!/usr/bin/env bash
# Every test: sets up the machine, builds the trees, runs the unit tests
# under ThreadSanitizer, then ctest in the host tree (unit tests, tool tests,
# fuzzing run, Wine end-to-end suite).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${TY_BUILD_DIR:-$top/build}
bash "$top/scripts/setup.sh"
TY_BUILD_DIR=$out bash "$top/scripts/build.sh"

# The Wine suite runs 32-bit programs. A kernel without IA-32 emulation
# cannot start any (execve: "Exec format error", exit 126), so there the
# suite cannot run at all; everything else still does, and the run says so.
skip=()
. "$top/scripts/ia32.sh"
if no_ia32; then
  count=$(ctest --test-dir "$out/host" -N -L '(e2e|wine)' | sed -n 's/^Total Tests: //p')
  echo "test: this machine cannot execute 32-bit programs (no IA-32 emulation in its kernel):" \
       "the ${count:-?} tests of the Wine suite (labels e2e, wine) are NOT run" >&2
  skip=(-LE '(e2e|wine)')
fi
# The unit tests under ThreadSanitizer: any report of a race fails the run.
TSAN_OPTIONS="halt_on_error=1" "$out/host-tsan/tests/unit/ty_unit_tests" --gtest_brief=1
ctest --test-dir "$out/host" --output-on-failure -j "$(nproc)" "${skip[@]}"
