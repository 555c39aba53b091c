#!/usr/bin/env bash
# Installs everything the builds and tests need on a Debian 12 machine (run as root),
# and fetches the bzip2 source that the Windows build compiles into a static library.
# Safe to run again: it skips what is already there.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  build-essential cmake ninja-build python3 pkg-config
  libbz2-dev bzip2 libgtest-dev googletest
  clang libclang-rt-14-dev libfuzzer-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  wine wine32:i386 wine64 fonts-wine xvfb xauth x11-apps imagemagick
  liblnk-utils icoutils dpkg-dev osslsigncode openssl
)

need_install=0
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need_install=1
done

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_install=1
fi

src_list=/etc/apt/sources.list.d/ty-deb-src.sources
if [ ! -f "$src_list" ]; then
  cat > "$src_list" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  need_install=1
fi

export DEBIAN_FRONTEND=noninteractive
if [ "$need_install" = 1 ]; then
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${packages[@]}"
fi

# The bzip2 source for the MinGW build: Debian's source package, never committed.
third=$top/build-deps
if [ ! -f "$third/bzip2/bzlib.h" ]; then
  mkdir -p "$third"
  ( cd "$third" && apt-get source --download-only bzip2 >/dev/null )
  tarball=$(ls "$third"/bzip2_*.orig.tar.gz | head -n 1)
  rm -rf "$third/bzip2" && mkdir -p "$third/bzip2"
  tar -xzf "$tarball" -C "$third/bzip2" --strip-components=1
fi
echo "setup: done"
