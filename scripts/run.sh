#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the terminal, lays out a demo program
# directory, starts the payment service simulator unless one is running, and starts
# the terminal on this display.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh
bash scripts/demo-layout.sh

if [ -z "${DISPLAY:-}" ]; then
  echo "No display: start this from a desktop session, or try it on a virtual one:" >&2
  echo "  xvfb-run -a -s '-screen 0 1024x768x24' bash scripts/run.sh" >&2
  exit 1
fi

cd build/bin
if ! (exec 3<>/dev/tcp/127.0.0.1/19976) 2>/dev/null; then
  ./paysim >paysim.log 2>&1 &
  echo "Started the payment service simulator (build/bin/paysim.log, books in build/bin/paysim.db)"
  for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/19976) 2>/dev/null && break; sleep 0.1; done
fi

# A virtual serial printer on COM3: each receipt appears here and as a picture. Its
# state as the terminal asks it before a payment is the word in printer-state
# (ready, near-end, paper-end, cover-open, offline; README).
if ! pgrep -f "receipt-viewer .*--pty devices/COM3" >/dev/null; then
  ./receipt-viewer -o receipts --pty devices/COM3 --state printer-state &
  for _ in $(seq 50); do [ -L devices/COM3 ] && break; sleep 0.1; done
fi

# The browser of the web page screen runs as root only without its sandbox.
if [ "$(id -u)" = 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
echo "Receipts: build/bin/receipts/receipt-N.png and .txt (printer port: receipts/last-receipt.bin)"
exec ./AP_VEK
