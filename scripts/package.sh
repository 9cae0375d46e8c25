#!/usr/bin/env bash
# Builds the two Debian packages into build/: vek-terminal (the terminal, its kiosk
# session and its user) and vek-demo (the payment service simulator, the stand-in
# module and a virtual serial printer). Builds what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/CMakeCache.txt ] || cmake --preset default >/dev/null
cmake --build --preset default
(cd build && cpack -G DEB)
ls -l build/vek-terminal_*.deb build/vek-demo_*.deb
