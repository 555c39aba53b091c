#!/usr/bin/env bash
# Runs the benchmarks and prints their tables (Markdown).
#   package   the package reader's benchmarks (the default)
#   install   the installation under Wine against an NSIS installer of the
#             same files (bench/ty_bench_install.py); installs Debian's nsis
#             when makensis is missing
#   all       both
# Builds what it needs: the trees (scripts/build.sh, incremental), the
# benchmark programs, and an installer of the benchmark payload
# (../shared/bench/make-payload.py beside the checkout, or TY_BENCH_PAYLOAD_SCRIPT) made with
# typack. Best run on an otherwise idle machine.
#   TY_BUILD_DIR   where the trees are (default: build)
#   TY_BENCH_RUNS  runs per measurement, the median is reported (default: 51
#                  for the package reader, 21 for the installation)
#   bench/run.sh [--no-build] [package|install|all]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${TY_BUILD_DIR:-$top/build}
payload_script=${TY_BENCH_PAYLOAD_SCRIPT:-$top/../shared/bench/make-payload.py}

usage() { echo "usage: bench/run.sh [--no-build] [package|install|all]" >&2; exit 2; }
build=1
what=package
for argument in "$@"; do
  case "$argument" in
    --no-build) build=0 ;;
    package|install|all) what=$argument ;;
    *) usage ;;
  esac
done

if [ "$what" != package ] && ! command -v makensis >/dev/null; then
  if [ "$(id -u)" = 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends nsis >/dev/null
  else
    echo "run.sh: makensis is missing; install Debian's nsis package" >&2
    exit 1
  fi
fi

if [ "$build" = 1 ]; then
  TY_BUILD_DIR=$out bash "$top/scripts/build.sh" >/dev/null
fi
if [ "$what" != install ]; then
  cmake --build "$out/host" --target ty_bench_package -j "$(nproc)" >/dev/null
fi
if [ "$what" != package ]; then
  cmake --build "$out/win" --target ty_bench_install ty_bench_install_o2 ty_bench_stub_o2 \
    ty_bench_nothing -j "$(nproc)" >/dev/null
fi

work=$out/bench
rm -rf "$work"
mkdir -p "$work/payload"

# The payload's 24 files in package order, as the script lists them, behind
# its welcome picture.
files=()
while IFS= read -r name; do
  files+=("$work/payload/$name")
  printf '%s\n' "$name" >>"$work/payload/payload-order.txt"
done < <(python3 "$payload_script" "$work/payload" --bmp |
         sed -n 's/^ *\([0-9][0-9]*\) *[0-9][0-9]*  \(.*\)$/\1\t\2/p' |
         awk -F'\t' '$1 >= 1 && $1 <= 24 { print $2 }')
if [ "${#files[@]}" != 24 ]; then
  echo "run.sh: the payload script listed ${#files[@]} files, not 24" >&2
  exit 1
fi
"$out/host/tools/typack" build --stub "$out/win/TYInstallerStub.exe" \
  --output "$work/payload.exe" "$work/payload/welcome.bmp" "${files[@]}" >/dev/null

echo "Machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(uname -sr)."
echo "Load average before the run: $(cut -d" " -f1-3 /proc/loadavg)."
echo

if [ "$what" != install ]; then
  echo "## Package reader benchmarks"
  echo
  echo "Tools: $(md5sum --version | head -n1), bzip2 $(bzip2 --help 2>&1 | head -n1 | sed 's/.*Version //; s/,.*//')."
  echo
  "$out/host/bench/ty_bench_package" --work "$work" --runs "${TY_BENCH_RUNS:-51}" \
    --stub "$out/win/TYInstallerStub.exe" --installer "$out/win/TYInstaller.exe" \
    --payload "$work/payload.exe"
  echo
fi

if [ "$what" != package ]; then
  echo "## Installation benchmark under Wine"
  echo
  # Where this kernel cannot execute 32-bit programs, Wine runs in the
  # virtual machine of scripts/wine-vm.sh; the yardsticks are made here.
  . "$top/scripts/ia32.sh"
  wine=$(wine_path)
  if [ "$wine" = vm ]; then
    echo "Tools: Wine in the virtual machine of scripts/wine-vm.sh (${TY_VM_ACCEL:-kvm where usable, else tcg})," \
      "makensis $(makensis -VERSION)."
    echo
    PYTHONDONTWRITEBYTECODE=1 python3 "$top/bench/ty_bench_install.py" \
      --payload-dir "$work/payload" --work "$work/install" --yardsticks-only
    TY_BUILD_DIR=$out TY_BENCH_RUNS=${TY_BENCH_RUNS:-21} bash "$top/scripts/wine-vm.sh" bench |
      sed -n '/^Payload:/,/^=== bench exit/p' | grep -v '^=== '
  else
    echo "Tools: $(wine --version), makensis $(makensis -VERSION)."
    echo
    TY_BUILD_DIR=$out PYTHONDONTWRITEBYTECODE=1 python3 "$top/bench/ty_bench_install.py" --win-dir "$out/win" \
      --payload-dir "$work/payload" --installer "$work/payload.exe" \
      --work "$work/install" --rounds "${TY_BENCH_RUNS:-21}"
  fi
  echo "Load average after the run: $(cut -d" " -f1-3 /proc/loadavg)."
fi
