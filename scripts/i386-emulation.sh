#!/usr/bin/env bash
# Makes sure this machine runs 32-bit (i386) Linux programs: Wine's 32-bit half, and
# with it the 32-bit Windows programs and the module host, is one. Where the kernel
# runs them itself nothing changes (a registration left by an earlier run is
# removed), unless VEK_EMULATE_I386=1 asks for the emulated path on such a machine
# too. Where it doesn't, or when asked, qemu's i386 user-mode emulator is registered
# with binfmt_misc for i386 programs, with the flag F: the kernel keeps the emulator
# open, so it also serves the containers of the units' test. Says so in one line.
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

misc=/proc/sys/fs/binfmt_misc
entry=$misc/vek-i386
cache=/var/cache/vek-terminal-tests

[ -e $misc/register ] || mount -t binfmt_misc binfmt_misc $misc

# A static i386 program of 96 bytes that exits with 42 (the Linux system call exit).
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
chmod 755 "$probe"
runs_i386() { local status=0; "$probe" 2>/dev/null || status=$?; [ $status -eq 42 ]; }

# The kernel's own answer, with an earlier registration out of the way.
[ -e $entry ] && echo -1 >$entry
if runs_i386 && [ "${VEK_EMULATE_I386:-0}" != 1 ]; then
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
echo ":vek-i386:M::$magic:$mask:$emulator:F" >$misc/register
runs_i386 || { echo "i386-emulation.sh: $emulator registered, but the probe still does not run" >&2; exit 1; }
echo "32-bit programs run through $emulator: $why."
