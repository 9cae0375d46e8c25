#!/usr/bin/env bash
# Builds the three Debian packages into build/: vek-terminal (the terminal, its
# kiosk session and its user), vek-module-host (the Windows payment module's host
# under Wine) and vek-demo (the payment service simulator, the stand-in module and a
# virtual serial printer). Builds what is missing first: vek-module-host.exe with
# MinGW-w64 (installed when missing) in build-windows/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh g++-mingw-w64-i686-posix
[ -f build-windows/CMakeCache.txt ] || cmake --preset windows -DVEK_BUILD_TESTS=OFF >/dev/null
cmake --build --preset windows --target vek-module-host
[ -f build/CMakeCache.txt ] || cmake --preset default >/dev/null
cmake --build --preset default
(cd build && cpack -G DEB)
ls -l build/vek-terminal_*.deb build/vek-module-host_*.deb build/vek-demo_*.deb
