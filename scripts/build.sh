#!/usr/bin/env bash
# Builds the three trees: the host tree (tools, unit tests, fuzzer,
# benchmarks; the unit tests also under ThreadSanitizer), the Windows tree (the installer, the sample product, the Wine
# suite's programs) and the Windows copy of the unit tests (build/win-tests,
# posix thread model compiler for GoogleTest). The Windows tree uses the
# host's package tool to append the package, so the host tree comes first.
#   TY_BUILD_DIR   where the trees go (default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${TY_BUILD_DIR:-$top/build}
jobs=$(nproc)

cmake -S "$top" -B "$out/host" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTY_WINDOWS_BUILD_DIR="$out/win" \
  -DTY_WINDOWS_TESTS_BUILD_DIR="$out/win-tests" >/dev/null
cmake --build "$out/host" -j "$jobs"

# The unit tests once more under ThreadSanitizer, for the unpacking thread.
cmake -S "$top" -B "$out/host-tsan" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTY_SANITIZE=thread \
  -DTY_WINDOWS_BUILD_DIR="$out/win" \
  -DTY_WINDOWS_TESTS_BUILD_DIR="$out/win-tests" >/dev/null
cmake --build "$out/host-tsan" -j "$jobs" --target ty_unit_tests

cmake -S "$top" -B "$out/win" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DTY_TYPACK="$out/host/tools/typack" >/dev/null
cmake --build "$out/win" -j "$jobs"

cmake -S "$top" -B "$out/win-tests" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686-posix.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTY_WINDOWS_UNIT_TESTS=ON >/dev/null
cmake --build "$out/win-tests" -j "$jobs"
