#!/usr/bin/env bash
# Configures and builds the default preset into build/ (everything runnable in build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default
cmake --build --preset default
