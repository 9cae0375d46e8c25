#!/usr/bin/env bash
# Lays out the demo program directory in build/bin: the settings in code page 949
# and the printer port pointing at a receipt file. Keeps what is already there.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bin
[ -f "$bin/VEK_Demo.ini" ] || iconv -f UTF-8 -t CP949 scripts/demo/VEK_Demo.ini >"$bin/VEK_Demo.ini"
mkdir -p "$bin/devices" "$bin/receipts"
[ -e "$bin/devices/LPT1" ] || [ -L "$bin/devices/LPT1" ] || ln -s ../receipts/last-receipt.bin "$bin/devices/LPT1"
