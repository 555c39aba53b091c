#!/usr/bin/env bash
# Builds both trees: the host tree (tools, unit tests, fuzzer, benchmarks) and
# the Windows tree (the installer, the sample product, the Windows test
# programs). The Windows tree uses the host's package tool to append the
# package, so the host tree comes first.
#   TY_BUILD_DIR   where both trees go (default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${TY_BUILD_DIR:-$top/build}
jobs=$(nproc)

cmake -S "$top" -B "$out/host" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTY_WINDOWS_BUILD_DIR="$out/win" >/dev/null
cmake --build "$out/host" -j "$jobs"

cmake -S "$top" -B "$out/win" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DTY_TYPACK="$out/host/tools/typack" >/dev/null
cmake --build "$out/win" -j "$jobs"
