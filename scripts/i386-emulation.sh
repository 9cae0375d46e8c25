#!/usr/bin/env bash
# Makes sure this machine runs 32-bit (i386) Linux programs: Wine's 32-bit half, and
# with it the 32-bit Windows programs and the module host, is one. Where the kernel
# runs them itself nothing changes, unless VEK_EMULATE_I386=1 asks for the emulated
# path on such a machine too. Where it doesn't, or when asked, qemu's i386 user-mode
# emulator is registered with binfmt_misc for i386 programs as the entry vek-i386,
# with the flag F: the kernel keeps the emulator open, so it also serves the
# containers of the units' test. Says so in one line.
#   i386-emulation.sh              for good (a counter whose kernel runs no 32-bit
#                                  programs)
#   i386-emulation.sh --use FD     for a test run, which holds FD (open on the users'
#                                  lock file) shared while it runs 32-bit programs
#   i386-emulation.sh --release    at that run's end, once it has closed FD: the entry
#                                  a test run made goes with the last run that uses it
# The tests' scripts call these through scripts/locks.sh (use_i386_emulation). An
# entry made for good is left as it is; one a test run left behind (killed) goes at
# the next use nobody else holds.
#
# The emulator comes from the backports of this Debian release (qemu 10): the
# release's own (7.2) searches its address space page by page for each of the tens
# of thousands of areas Wine reserves, and takes a minute of processor time to
# start every Wine process, where 10 takes a fraction of a second. Its program is
# taken from the package into /var/cache/vek-terminal-tests, without installing the
# package, from the archive this machine's apt configuration names.
# Idempotent; run as root, before anything of the i386 architecture is installed
# (their maintainer scripts run i386 programs).
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/locks.sh

misc=/proc/sys/fs/binfmt_misc
entry=$misc/vek-i386
cache=/var/cache/vek-terminal-tests
users=$lock_dir/i386-emulation.users
for_tests=$lock_dir/i386-emulation.for-tests # the entry was made for test runs

mode=${1:-}
fd=${2:-}
case "$mode" in
  "") ;;
  --use) [[ $fd =~ ^[0-9]+$ ]] || { echo "i386-emulation.sh: $mode needs the descriptor of the users' lock" >&2; exit 2; } ;;
  --release) ;;
  *) echo "usage: i386-emulation.sh [--use FD | --release]" >&2; exit 2 ;;
esac

[ -e $misc/register ] || mount -t binfmt_misc binfmt_misc $misc
# One run at a time makes, removes or looks past the entry.
hold_lock "$lock_dir/i386-emulation.lock" "another run's registration of the i386 emulator"
[ -e $entry ] || rm -f "$for_tests"

others_use_it() {
  local probe_fd
  exec {probe_fd}>>"$users"
  if flock -x -n $probe_fd; then exec {probe_fd}>&-; return 1; fi
  exec {probe_fd}>&-
}
if [ "$mode" = --release ]; then
  # Asked on an open file of its own: the caller's, inherited by whatever it left
  # running, would turn exclusive for all of them and hold up the next run. While
  # another run holds the lock, the entry stays.
  if [ -f "$for_tests" ] && ! others_use_it; then
    echo -1 >$entry
    rm -f "$for_tests"
    echo "The i386 emulator's binfmt_misc entry vek-i386 removed."
  fi
  exit 0
fi
# From here on, a test run uses what it finds or makes; the lock is its own
# (the caller's open file), so it stays after this script.
in_use() { [ "$mode" != --use ] || flock -s "$fd"; }

# A static i386 program of 96 bytes that exits with 42 (the Linux system call exit).
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
chmod 755 "$probe"
runs_i386() { local status=0; "$probe" 2>/dev/null || status=$?; [ $status -eq 42 ]; }

# An entry made for good, or by a test run still going, is used as it is. One a
# test run left behind goes: the kernel's own answer is wanted.
if [ -e $entry ]; then
  if [ -f "$for_tests" ] && ! others_use_it; then
    echo -1 >$entry
    rm -f "$for_tests"
  else
    in_use
    echo "32-bit programs run through $(sed -n 's/^interpreter //p' $entry): registered before$([ ! -f "$for_tests" ] || echo ", for a test run")."
    exit 0
  fi
fi
if runs_i386 && [ "${VEK_EMULATE_I386:-0}" != 1 ]; then
  in_use
  exit 0
fi
why="this kernel runs no 32-bit programs"
runs_i386 && why="the emulated path was asked for (VEK_EMULATE_I386=1)"

emulator=$(ls $cache/qemu-*/qemu-i386 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$emulator" ]; then
  bash scripts/install-deps.sh dpkg-dev
  work=$(mktemp -d)
  trap 'rm -f "$probe"; rm -rf "$work"' EXIT
  . scripts/private-apt.sh
  private_apt_update "$work/apt" backports
  (cd "$work" && apt-get "${private_apt[@]}" download qemu-user >/dev/null)
  dpkg-deb -x "$work"/qemu-user_*.deb "$work/root"
  version=$(dpkg-deb -f "$work"/qemu-user_*.deb Version)
  mkdir -p "$cache/qemu-${version#*:}"
  emulator=$cache/qemu-${version#*:}/qemu-i386
  install -m 755 "$work/root/usr/bin/qemu-i386" "$emulator"
fi

# The i386 ELF header: class 32-bit, little-endian, an executable or a shared object
# (the mask lets type 2 and 3 through), machine 3.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
[ "$mode" != --use ] || touch "$for_tests"
echo ":vek-i386:M::$magic:$mask:$emulator:F" >$misc/register
in_use
runs_i386 || { echo "i386-emulation.sh: $emulator registered, but the probe still does not run" >&2; exit 1; }
echo "32-bit programs run through $emulator: $why."
