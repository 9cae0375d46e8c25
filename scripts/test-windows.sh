#!/usr/bin/env bash
# Builds the 32-bit Windows programs (the core, vek.exe, VEKDLL.dll and the test
# suites) with MinGW-w64 and runs them under Wine in a private Wine prefix: the
# suites, then vek.exe end to end (tests/windows/WindowsEndToEnd.sh, which needs the
# Linux build in build/ for paysim and the golden answers). Run as root; installs
# what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++-mingw-w64-i686-posix wine wine32 python3 sqlite3)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  apt-get update -q
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

rm -rf build-windows
cmake --preset windows
cmake --build --preset windows

WINEPREFIX=$(mktemp -d)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
wineserver -p >/dev/null 2>&1  # one server for the whole run, its diagnostics out of the log
wineboot -i >/dev/null 2>&1
ctest --preset windows
bash tests/windows/WindowsEndToEnd.sh build-windows/bin build/bin
