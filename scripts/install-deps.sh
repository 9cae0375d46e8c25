#!/usr/bin/env bash
# Installs the Debian 12 packages the terminal needs to build, run and be tested,
# or the packages named on the command line instead (NAME:i386 adds the i386
# architecture where it is missing). Idempotent: asks apt only for what is missing;
# two runs at once take turns (scripts/locks.sh). Run as root.
set -euo pipefail

packages=("$@")
((${#packages[@]})) || packages=(
  build-essential cmake pkg-config
  clang libclang-rt-14-dev          # fuzz targets (libFuzzer, ASan, UBSan)
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libjpeg62-turbo-dev   # the window; pictures decoded with libjpeg
  qt6-webengine-dev                 # the web page screen's browser
  fonts-nanum fonts-nanum-coding    # Korean fonts of the window and the pictures
  xvfb xauth xdotool imagemagick    # end-to-end tests and screenshots on a virtual display
  libxcb1-dev                       # the start-up probe watches the display
  libfontconfig-dev                 # start-up loads the font configuration beside the application object
  libqt6sql6-sqlite sqlite3 curl    # the payment service simulator's books, and checking them
  libsqlite3-dev                    # the terminal's journal of accepted operations
  locales                           # locale sources for the regional settings test
  systemd-container                 # the packaged units under systemd, in a container
  gdb                               # tests that stop a payment at its module call
  libpq-dev postgresql-15 openssl   # the head office's PostgreSQL: its client, the tests' clusters and their certificates
  qt6-httpserver-dev qt6-websockets-dev  # the head office's page (Qt's HTTP server needs WebSockets to build against)
  chromium                          # the head office's page read in a headless browser
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  . "$(dirname "${BASH_SOURCE[0]}")/locks.sh"
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # dpkg's own lock may be held by something else than these scripts: wait for it.
  apt_locked bash -c 'set -e
    if printf "%s\n" "$@" | grep -q ":i386$" && ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386
    fi
    apt-get update -q
    apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=600 "$@"' install-deps "${missing[@]}"
fi
