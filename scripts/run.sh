#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the terminal and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh

# The window, the payment module stand-in and the payment service simulator are
# still being built; until they land, this shows the core at work instead.
echo
echo "The terminal window is not built yet. Built so far (build/bin):"
ls build/bin
echo
echo "The transaction core, measured:"
./build/bin/core_bench --benchmark_min_time=0.05
