#!/usr/bin/env bash
# Runs the package reader's benchmarks and prints their tables (Markdown).
# Builds what it needs: both trees (scripts/build.sh, incremental), the
# benchmark program, and an installer of the benchmark payload
# (../shared/bench/make-payload.py beside the checkout, or TY_BENCH_PAYLOAD_SCRIPT) made with
# typack. Best run on an otherwise idle machine.
#   TY_BUILD_DIR   where the trees are (default: build)
#   TY_BENCH_RUNS  runs per measurement, the median is reported (default: 51)
#   bench/run.sh [--no-build]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${TY_BUILD_DIR:-$top/build}
runs=${TY_BENCH_RUNS:-51}
payload_script=${TY_BENCH_PAYLOAD_SCRIPT:-$top/../shared/bench/make-payload.py}

case "${1:-}" in
  "") TY_BUILD_DIR=$out bash "$top/scripts/build.sh" >/dev/null ;;
  --no-build) ;;
  *) echo "usage: bench/run.sh [--no-build]" >&2; exit 2 ;;
esac
cmake --build "$out/host" --target ty_bench_package -j "$(nproc)" >/dev/null

work=$out/bench
rm -rf "$work"
mkdir -p "$work/payload"

# The payload's 24 files in package order, as the script lists them, behind
# its welcome picture.
files=()
while IFS= read -r name; do
  files+=("$work/payload/$name")
done < <(python3 "$payload_script" "$work/payload" --bmp |
         sed -n 's/^ *\([0-9][0-9]*\) *[0-9][0-9]*  \(.*\)$/\1\t\2/p' |
         awk -F'\t' '$1 >= 1 && $1 <= 24 { print $2 }')
if [ "${#files[@]}" != 24 ]; then
  echo "run.sh: the payload script listed ${#files[@]} files, not 24" >&2
  exit 1
fi
"$out/host/tools/typack" build --stub "$out/win/TYInstallerStub.exe" \
  --output "$work/payload.exe" "$work/payload/welcome.bmp" "${files[@]}" >/dev/null

echo "## Package reader benchmarks"
echo
echo "Machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(uname -sr)."
echo "Tools: $(md5sum --version | head -n1), bzip2 $(bzip2 --help 2>&1 | head -n1 | sed 's/.*Version //; s/,.*//')."
echo "Load average before the run: $(cut -d" " -f1-3 /proc/loadavg)."
echo
"$out/host/bench/ty_bench_package" --work "$work" --runs "$runs" \
  --stub "$out/win/TYInstallerStub.exe" --installer "$out/win/TYInstaller.exe" \
  --payload "$work/payload.exe"
