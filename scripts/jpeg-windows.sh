#!/usr/bin/env bash
# Makes libjpeg (static, with its SIMD code) for 32-bit Windows from Debian 12's
# own libjpeg-turbo source package, cross-built with MinGW-w64, into a cache outside
# the working tree, as scripts/qt-windows.sh does for Qt (Qt's own copy is left out:
# the window decodes its pictures with libjpeg directly, as on Linux):
#   /var/cache/vek-terminal-tests/jpeg-windows/<source version>-<hash>/
# The version is that of the machine's libjpeg62-turbo-dev; the hash covers the
# options, the compiler's version and the toolchain. A finished cache is used as it
# is; a run that finds another building waits for it. Run as root; installs what
# it needs. Prints the cache folder last.
set -euo pipefail
cd "$(dirname "$0")/.."

cache_root=${VEK_JPEG_WINDOWS_CACHE:-/var/cache/vek-terminal-tests/jpeg-windows}
host_triple=i686-w64-mingw32
cxx=$host_triple-g++-posix

bash scripts/install-deps.sh g++-mingw-w64-i686-posix libjpeg62-turbo-dev cmake ninja-build nasm dpkg-dev
version=$(dpkg-query -W -f='${Version}' libjpeg62-turbo-dev)
version=${version#*:}
options=(
  -G Ninja
  -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_SYSTEM_NAME=Windows
  -DCMAKE_SYSTEM_PROCESSOR=i686
  -DCMAKE_C_COMPILER=$host_triple-gcc-posix
  -DCMAKE_RC_COMPILER=$host_triple-windres
  -DCMAKE_ASM_NASM_COMPILER=nasm
  -DENABLE_SHARED=OFF
  -DENABLE_STATIC=ON
  -DWITH_TURBOJPEG=OFF
  -DWITH_SIMD=ON
)
key=$(printf '%s\n' "${options[@]}" "$($cxx --version | head -n1)" | sha256sum | cut -c1-12)
prefix=$cache_root/$version-$key
cached() { [ -f "$prefix/.complete" ] && echo "libjpeg for Windows: $prefix"; }
cached && exit 0
# One build into the cache at a time (a run that finds another building waits).
mkdir -p "$cache_root"
. scripts/locks.sh
hold_lock "$cache_root/.lock" "another run's build of libjpeg for Windows"
cached && exit 0

work=$cache_root/.build-$version-$key
rm -rf "$work" "$prefix"
mkdir -p "$work" "$prefix"
start=$(date +%s)
. scripts/private-apt.sh
private_apt_update "$work/apt" deb-src
(cd "$work" && apt-get "${private_apt[@]}" source "libjpeg-turbo=1:$version" >"$work/source.log" 2>&1) || {
  echo "jpeg-windows.sh: no source package libjpeg-turbo $version in this machine's archive:" >&2
  tail -n 3 "$work/source.log" >&2
  exit 1
}
src=$(find "$work" -maxdepth 1 -type d -name 'libjpeg-turbo-*' -print -quit)
log=$work/build.log
{
  nice -n 19 cmake -S "$src" -B "$work/build" "${options[@]}" -DCMAKE_INSTALL_PREFIX="$prefix"
  nice -n 19 cmake --build "$work/build" -j2
  nice -n 19 cmake --install "$work/build"
} >"$log" 2>&1 || {
  echo "jpeg-windows.sh: the build failed; the end of $log:" >&2
  tail -n 30 "$log" >&2
  exit 1
}
echo "$version $key, built in $(($(date +%s) - start))s" >"$prefix/.complete"
rm -rf "$work"
echo "libjpeg for Windows: $prefix"
