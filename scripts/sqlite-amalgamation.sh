#!/usr/bin/env bash
# Makes SQLite's single-file source (sqlite3.c, sqlite3.h) for the 32-bit Windows
# build from Debian 12's source package, its patches applied, into build-deps/sqlite3
# (journal/CMakeLists.txt builds it into vek.exe): Debian has no SQLite for MinGW.
# The source index and apt's caches are kept in a private folder, with the sources
# of the archive this machine's own apt configuration names; its apt sources and
# state stay as they are. Does nothing when the files are there: remove
# build-deps/sqlite3 to take Debian's newest. Run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

out=build-deps/sqlite3
[ -f $out/sqlite3.c ] && [ -f $out/sqlite3.h ] && exit 0

bash scripts/install-deps.sh build-essential dpkg-dev tcl xz-utils

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. scripts/private-apt.sh
private_apt_update "$work/apt" deb-src
(cd "$work" && apt-get "${private_apt[@]}" source sqlite3 >/dev/null)

mkdir -p "$work/build"
(cd "$work/build" && ../sqlite3-*/configure --disable-tcl >/dev/null && make -j2 sqlite3.c >/dev/null)
mkdir -p $out
cp "$work/build/sqlite3.c" "$work/build/sqlite3.h" $out/
echo "SQLite for the Windows build: $(sed -n 's/^#define SQLITE_VERSION  *"\(.*\)"/\1/p' $out/sqlite3.h), from $(cd "$work" && ls sqlite3_*.dsc)"
