#!/usr/bin/env bash
# Every test: sets up the machine, builds both trees, runs ctest in the host
# tree (unit tests, tool tests, fuzzing run, Wine end-to-end suite).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${TY_BUILD_DIR:-$top/build}
bash "$top/scripts/setup.sh"
TY_BUILD_DIR=$out bash "$top/scripts/build.sh"
ctest --test-dir "$out/host" --output-on-failure -j "$(nproc)"
