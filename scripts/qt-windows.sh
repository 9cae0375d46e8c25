#!/usr/bin/env bash
# Makes Qt 6 (Core, Gui, Widgets, the Windows platform plugin) for 32-bit Windows
# from Debian 12's own qt6-base source package, cross-built with MinGW-w64 (posix
# threads) and the host's Qt tools, into a cache outside the working tree:
#   /var/cache/vek-terminal-tests/qt-windows/<source version>-<hash>/
# The version is the installed host tools' (the source taken is theirs); the hash
# covers the configure options, the compiler's version and the toolchain file.
# A finished cache is used as it is: the script only prints where it is. An
# unfinished build is taken up again where it stopped; a run that finds another
# building waits for it. The source is fetched with an
# apt of its own (scripts/private-apt.sh); the machine's apt sources and state stay
# as they are. Run as root; installs what it needs (only that with --deps). Prints
# the cache folder last.
#
# Programs build against it with its toolchain file, which chains the compilers' one:
#   cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=<cache>/lib/cmake/Qt6/qt.toolchain.cmake ...
# and run with the DLLs of <cache>/bin, <cache>/plugins/platforms/qwindows.dll as
# platforms/qwindows.dll and the MinGW run-time DLLs (listed in <cache>/runtime-dlls)
# beside them.
set -euo pipefail
cd "$(dirname "$0")/.."

cache_root=${VEK_QT_WINDOWS_CACHE:-/var/cache/vek-terminal-tests/qt-windows}
host_triple=i686-w64-mingw32
cc=$host_triple-gcc-posix
cxx=$host_triple-g++-posix

bash scripts/install-deps.sh g++-mingw-w64-i686-posix qt6-base-dev qt6-base-dev-tools \
  cmake ninja-build perl python3 dpkg-dev xz-utils
# --deps: only that (the test command installs them before it builds in the background).
[ "${1:-}" != --deps ] || exit 0

# The host tools (moc, rcc, uic) must be those of the same Qt: the source taken is
# the one of the installed host tools.
version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
compiler=$($cxx --version | head -n1)

# Qt's own build links the MinGW run time as DLLs (one C++ run time shared by all
# of Qt's DLLs and the program); programs that use this Qt do the same.
toolchain() {
  cat <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER $cc)
set(CMAKE_CXX_COMPILER $cxx)
set(CMAKE_RC_COMPILER $host_triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$host_triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}

# Core, Gui, Widgets (and OpenGL, which the Windows platform plugin refers to in
# any case; it renders in software where no driver is there). Every third-party
# library from the copies kept in Qt's source, none from the host.
options=(
  -G Ninja
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=ON
  -DQT_HOST_PATH=/usr
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  -DQT_BUILD_BENCHMARKS=OFF
  -DQT_BUILD_MANUAL_TESTS=OFF
  -DFEATURE_pkg_config=OFF
  -DFEATURE_network=OFF
  -DFEATURE_sql=OFF
  -DFEATURE_dbus=OFF
  -DFEATURE_printsupport=OFF
  -DFEATURE_testlib=OFF
  -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF
  -DFEATURE_androiddeployqt=OFF
  -DFEATURE_icu=OFF
  -DFEATURE_glib=OFF
  -DFEATURE_zstd=OFF
  -DFEATURE_jpeg=OFF
  -DFEATURE_system_zlib=OFF
  -DFEATURE_system_pcre2=OFF
  -DFEATURE_system_png=OFF
  -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_freetype=OFF
  -DFEATURE_freetype=ON
  -DFEATURE_harfbuzz=ON
  -DFEATURE_png=ON
  -DFEATURE_opengl=ON
  -DFEATURE_opengl_desktop=ON
  -DFEATURE_vulkan=OFF
  # The tablet support needs the Wintab header, which Debian's source leaves out.
  -DFEATURE_tabletevent=OFF
  # The font database back ends: GDI (the default), FreeType and DirectWrite, with
  # the Direct2D font engine the DirectWrite database draws with, all built in both
  # Gui and the platform plugin.
  -DFEATURE_directwrite=ON
  -DFEATURE_directwrite3=ON
  -DFEATURE_direct2d=ON
)

key=$(printf '%s\n' "${options[@]}" "$compiler" "$(toolchain)" | sha256sum | cut -c1-12)
prefix=$cache_root/$version-$key
cached() { [ -f "$prefix/.complete" ] && echo "Qt for Windows: $prefix"; }
cached && exit 0
# One build into the cache at a time: a run that finds another building waits for
# it and then uses what it made.
mkdir -p "$cache_root"
. scripts/locks.sh
hold_lock "$cache_root/.lock" "another run's build of Qt for Windows"
cached && exit 0

# The build folder stays until the install is complete, so a run that stopped
# (or failed and was mended) goes on from where it was.
work=$cache_root/.build-$version-$key
mkdir -p "$work" "$prefix"
start=$(date +%s)
src=$work/qt6-base-${version%-*}
if [ ! -f "$work/source-unpacked" ]; then
  rm -rf "$src"
  . scripts/private-apt.sh
  private_apt_update "$work/apt" deb-src
  (cd "$work" && apt-get "${private_apt[@]}" source "qt6-base=$version" >"$work/source.log" 2>&1) || {
    echo "qt-windows.sh: no source package qt6-base $version (the host tools' version) in this machine's archive:" >&2
    tail -n 3 "$work/source.log" >&2
    exit 1
  }
  touch "$work/source-unpacked"
fi
toolchain >"$prefix/mingw-i686.cmake"

log=$work/build.log
echo "Building Qt $version for $host_triple (a cold build takes about half an hour on 2 cores); log: $log"
{
  nice -n 19 cmake -S "$src" -B "$work/build" "${options[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-i686.cmake" -DCMAKE_INSTALL_PREFIX="$prefix"
  nice -n 19 cmake --build "$work/build" -j2
  nice -n 19 cmake --install "$work/build"
} >>"$log" 2>&1 || {
  echo $(($(cat "$work/seconds" 2>/dev/null || echo 0) + $(date +%s) - start)) >"$work/seconds"
  echo "qt-windows.sh: the build failed; the end of $log:" >&2
  tail -n 30 "$log" >&2
  exit 1
}

# The MinGW run-time DLLs the programs need beside them.
for dll in libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll; do
  found=$($cxx -print-file-name=$dll)
  [ -f "$found" ] || found=$(find /usr/lib/gcc/$host_triple /usr/$host_triple/lib -name "$dll" -print -quit)
  [ -f "$found" ] || { echo "qt-windows.sh: $dll not found" >&2; exit 1; }
  echo "$found"
done >"$prefix/runtime-dlls"

# A build taken up again counts the time of each of its runs.
elapsed=$(($(cat "$work/seconds" 2>/dev/null || echo 0) + $(date +%s) - start))
echo "$version $key, built in ${elapsed}s from $(cd "$work" && ls qt6-base_*.dsc)" >"$prefix/.complete"
rm -rf "$work"
echo "Qt for Windows built in $((elapsed / 60)) min $((elapsed % 60)) s: $prefix"
