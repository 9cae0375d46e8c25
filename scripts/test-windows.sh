#!/usr/bin/env bash
# Builds the 32-bit Windows programs (the core, vek.exe, VEKDLL.dll, the module host
# vek-module-host.exe and the test suites) with MinGW-w64 and runs them under Wine
# in a private Wine prefix: the suites, vek.exe end to end
# (tests/windows/WindowsEndToEnd.sh), then the Linux vek and window with VEKDLL.dll
# through the module host (tests/windows/ModuleHostEndToEnd.sh, and the window's
# end-to-end test with the Windows build), and a short pass of the module call
# benchmark (bench/module-host.sh). Then the window AP_VEK.exe and its installer
# (preset windows-window, Qt for Windows from scripts/qt-windows.sh), signed with a
# throw-away certificate: the installer's install, upgrade and removal, its
# signatures and the folders it refuses (tests/windows/InstallerTest.sh), the
# installed window end to end (tests/windows/WindowEndToEnd.sh), a Qt window's
# Korean text (tests/windows/qt-hello/QtHello.sh) and a short pass of the start-up
# benchmark (bench/windows-startup.sh). The end-to-end runs need the Linux build in
# build/ (paysim, vek, AP_VEK, the supervisor, the golden answers). Run as root;
# installs what it needs. VEK_EMULATE_I386=1 runs the 32-bit programs through the
# emulator even where the kernel runs them (scripts/i386-emulation.sh); an emulator
# this run registered is removed at its end.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/locks.sh

# Wine runs 32-bit programs with its i386 half; a kernel that runs none gets them
# through an emulator, registered before any i386 package is installed. Wine's
# server comes from its 64-bit half (wine64), native on any machine, so that only
# the 32-bit programs go through the emulator: the emulator has no ptrace, with
# which the server lets a debugger attach to a process.
trap release_i386_emulation EXIT
use_i386_emulation
bash scripts/install-deps.sh g++-mingw-w64-i686-posix wine wine64 wine32:i386 python3 sqlite3 xvfb xauth xdotool nsis \
  locales osslsigncode openssl
bash scripts/sqlite-amalgamation.sh  # vek.exe's journal

rm -rf build-windows
cmake --preset windows
cmake --build --preset windows

WINEPREFIX=$(mktemp -d)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"; release_i386_emulation' EXIT
wineserver -p >/dev/null 2>&1  # one server for the whole run, its diagnostics out of the log
wineboot -i >/dev/null 2>&1
ctest --preset windows
bash tests/windows/WindowsEndToEnd.sh build-windows/bin build/bin
bash tests/windows/ModuleHostEndToEnd.sh build-windows/bin build/bin
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash tests/e2e/TerminalEndToEnd.sh build/bin build-windows/bin
echo "-- the module call three ways (a short benchmark pass)"
bash bench/module-host.sh build/bin build-windows/bin 200

# The window AP_VEK.exe and its installer, against Qt and libjpeg for Windows made
# from Debian's sources (cached outside the tree; a cold Qt build takes about half
# an hour), each test on a display and in a Wine prefix of its own.
echo "-- the window for Windows and its installer"
VEK_QT_WINDOWS=$(bash scripts/qt-windows.sh | tail -n 1 | awk '{print $NF}')
VEK_JPEG_WINDOWS=$(bash scripts/jpeg-windows.sh | tail -n 1 | awk '{print $NF}')
export VEK_QT_WINDOWS VEK_JPEG_WINDOWS
rm -rf build-windows-window
cmake --preset windows-window
# Signed as a release is, with a throw-away code-signing certificate made here; the
# installer test checks the signatures against it.
signing=$PWD/build-windows-window/test-signing
mkdir "$signing"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=VEK Terminal test signing" \
  -addext extendedKeyUsage=codeSigning -addext keyUsage=critical,digitalSignature \
  -keyout "$signing/key.pem" -out "$signing/cert.pem" 2>/dev/null
openssl pkcs12 -export -in "$signing/cert.pem" -inkey "$signing/key.pem" -passout pass:throw-away \
  -out "$signing/cert.pfx"
VEK_SIGN_CERT=$signing/cert.pfx VEK_SIGN_PASSWORD=throw-away \
  cmake --build --preset windows-window --target all installer
bash tests/windows/InstallerTest.sh build-windows-window "$signing/cert.pem"
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash tests/windows/WindowEndToEnd.sh \
  build-windows-window/vek-terminal-setup.exe build-windows/bin build/bin
bash tests/windows/qt-hello/QtHello.sh build-qt-hello
echo "-- AP_VEK.exe's start-up against an empty window of the same Qt (a short benchmark pass)"
xvfb-run -a -s "-screen 0 1024x768x24" bash bench/windows-startup.sh build-windows-window/installer/app \
  build-windows-window/bin/empty-window.exe 3
