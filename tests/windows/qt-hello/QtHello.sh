#!/usr/bin/env bash
# Builds qt-hello (a Qt Widgets window) for 32-bit Windows against the Qt of
# scripts/qt-windows.sh, puts the DLLs it needs beside it (Qt's, the MinGW run time,
# platforms/qwindows.dll) and runs it under Wine on a virtual display: it fails
# unless the window shows and its Korean text is laid out in real glyphs. Leaves the
# screenshot in OUT (default build-qt-hello/) as qt-hello.png and prints how long
# the window took to show. Run as root; installs what it needs.
#   tests/windows/qt-hello/QtHello.sh [OUT]
set -euo pipefail
cd "$(dirname "$0")/../../.."

out=$(realpath -m "${1:-build-qt-hello}")
build=$out/build
app=$out/app

# Wine's 32-bit half needs a kernel that runs i386 programs, or the emulator
# (scripts/i386-emulation.sh; one this run registers goes at its end).
. scripts/locks.sh
trap release_i386_emulation EXIT
use_i386_emulation
bash scripts/install-deps.sh wine wine64 wine32:i386 xvfb xdotool imagemagick fonts-nanum
qt=$(bash scripts/qt-windows.sh | tail -n 1 | awk '{print $NF}')
[ -f "$qt/.complete" ] || { echo "QtHello.sh: no Qt for Windows" >&2; exit 1; }

mkdir -p "$out"
cmake -G Ninja -S tests/windows/qt-hello -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" >"$out/cmake.log" 2>&1 ||
  { cat "$out/cmake.log" >&2; exit 1; }
cmake --build "$build" >>"$out/cmake.log" 2>&1 || { cat "$out/cmake.log" >&2; exit 1; }

rm -rf "$app"
bash packaging/windows/app-folder.sh "$qt" "$app" "$build/qt-hello.exe"
echo "qt-hello with: $(cd "$app" && ls *.dll */*.dll | tr '\n' ' ')"

export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d)
display=55
while [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
export DISPLAY=:$display
xvfb=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  release_i386_emulation
}
trap cleanup EXIT
Xvfb "$DISPLAY" -screen 0 1024x768x24 -noreset >"$out/xvfb.log" 2>&1 &
xvfb=$!
# Wine's background processes keep the pipes they inherit open: output to files.
wineserver -p >"$out/wineserver.log" 2>&1
wineboot -i >"$out/wineboot.log" 2>&1

start=$(date +%s%N)
(cd "$app" && exec wine qt-hello.exe >"$out/qt-hello.out" 2>"$out/qt-hello.err") &
xdotool search --sync --onlyvisible --name '^qt-hello$' >/dev/null &
watcher=$!
for _ in $(seq 600); do
  kill -0 $watcher 2>/dev/null || break
  sleep 0.1
done
if kill -0 $watcher 2>/dev/null; then
  kill $watcher
  echo "QtHello.sh: no window within 60 s; Wine said:" >&2
  tail -n 20 "$out/qt-hello.err" >&2
  exit 1
fi
shown=$((($(date +%s%N) - start) / 1000000))
for _ in $(seq 100); do grep -q '^hangul:' "$out/qt-hello.out" && break; sleep 0.1; done
sleep 1  # painted
import -window root "$out/qt-hello.png"
echo "window shown ${shown} ms after wine started; the program: $(tr '\n' ' ' <"$out/qt-hello.out")"
echo "screenshot: $out/qt-hello.png"
grep -q '^hangul: ok' "$out/qt-hello.out" || { echo "QtHello.sh: the Korean text has no glyphs" >&2; exit 1; }
