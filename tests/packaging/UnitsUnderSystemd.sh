#!/usr/bin/env bash
# The packaged units under systemd itself, for what only systemd applies to them:
# system call filters, address families and addresses, namespace restrictions,
# device lists, private users, /proc protections. This machine's own tree, under an
# overlay that keeps it as it is, boots in a container (systemd-nspawn, a network
# of its own), installs the three packages and runs the units as packaged: the
# demo's services, the module host with the stand-in VEKDLL.dll in the module's
# folder, and the kiosk session with a virtual display in place of the X server on
# tty1 (a container has no console, display or input devices: the X server's own
# access to them is checked only at a counter). Checks each unit's processes under
# its system call filter, a voucher use at the kiosk through the module host
# printed on the virtual printer, the web page in the browser's own sandbox, and
# that a user without the session's cookie can't use the display.
# Run as root after scripts/package.sh; skipped where no container can boot. Passed
# or not, nothing of it stays on the machine.
set -euo pipefail
cd "$(dirname "$0")/../.."
repo=$PWD
fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIPPED: $*" >&2; exit 0; }
. scripts/locks.sh

command -v systemd-nspawn >/dev/null || skip "no systemd-nspawn (package systemd-container)"
ls build/vek-terminal_*.deb build/vek-module-host_*.deb build/vek-demo_*.deb >/dev/null 2>&1 ||
  fail "no packages: run scripts/package.sh first"
[ -f build-windows/bin/VEKDLL.dll ] || cmake --build --preset windows --target VEKDLL

work=$(mktemp -d)
box=
nspawn=
cleanup() {
  if [ -n "$box" ]; then
    kill -KILL "$box" 2>/dev/null || true # the container's init: everything in it goes with it
  fi
  [ -z "$nspawn" ] || kill "$nspawn" 2>/dev/null || true
  wait 2>/dev/null || true
  # Detached where still busy; never removed through: the tree is this machine's.
  umount "$work/tree" 2>/dev/null || umount -l "$work/tree" 2>/dev/null || true
  umount "$work/changes" 2>/dev/null || umount -l "$work/changes" 2>/dev/null || true
  rm -rf --one-file-system "$work" || true  # a folder still mounted stays; the status stays the test's
  release_i386_emulation
}
trap cleanup EXIT
# The container's tree is this machine's as it is: not while another run's package
# test has the packages installed on it (that run's waits in turn).
hold_lock "$lock_dir/package-test.lock" "another run's package test"
# The container runs 32-bit programs as this machine does (the emulator's entry has
# the flag F, so it serves there too).
use_i386_emulation

# The tree: this machine's, with the container's changes kept in memory.
mkdir "$work/changes" "$work/tree"
mount -t tmpfs -o mode=0755 tmpfs "$work/changes"
mkdir "$work/changes/upper" "$work/changes/work"
mount -t overlay overlay -o "lowerdir=/,upperdir=$work/changes/upper,workdir=$work/changes/work" "$work/tree" ||
  skip "no overlay of this machine's tree"
# The repository (the packages, the stand-in module) is seen there where it is here,
# also under /tmp, which the container has of its own.
systemd-nspawn -D "$work/tree" --register=no --keep-unit --private-network --capability=all -M vek-units \
  --bind-ro="$repo" -b \
  >"$work/boot.log" 2>&1 &
nspawn=$!
for _ in $(seq 300); do
  box=$(pgrep -P "$nspawn" | head -n 1) && [ -n "$box" ] &&
    nsenter -t "$box" -a -- systemctl is-system-running 2>/dev/null | grep -qE '^(running|degraded)$' && break
  kill -0 "$nspawn" 2>/dev/null || skip "the container did not boot: $(tail -3 "$work/boot.log")"
  sleep 0.2
done
in_box=(nsenter -t "$box" -a --)
"${in_box[@]}" systemctl is-system-running 2>/dev/null | grep -qE '^(running|degraded)$' ||
  skip "the container did not boot in time"

echo "-- the packages installed in a container under systemd"
"${in_box[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "$repo"/build/vek-terminal_*.deb "$repo"/build/vek-module-host_*.deb "$repo"/build/vek-demo_*.deb >/dev/null
module=/opt/vek-terminal/module
"${in_box[@]}" install -o root -g root -m 644 "$repo/build-windows/bin/VEKDLL.dll" "$module/VEKDLL.dll"
"${in_box[@]}" mv "$module/VEKDLL.so" /root/VEKDLL.so # else the demo's would be used first
# Started by the packages; the module host counts as started once the host is ready.
for unit in vek-paysim vek-receipt-printer vek-module-host; do
  for _ in $(seq 900); do "${in_box[@]}" systemctl is-active --quiet "$unit" && break; sleep 0.2; done
  "${in_box[@]}" systemctl is-active --quiet "$unit" ||
    fail "$unit: $("${in_box[@]}" journalctl -u "$unit" --no-pager | tail -5)"
done

# The kiosk session as packaged, with a virtual display for its X server.
dropins=$work/tree/etc/systemd/system/vek-kiosk.service.d
mkdir -p "$dropins"
sed -n 's|^ExecStart=\(.*\) -- :0 vt1 -keeptty \(.*\)$|[Service]\nStandardInput=null\nExecStart=\nExecStart=\1 -- /usr/bin/Xvfb :0 -screen 0 1024x768x24 \2|p' \
  "$work/tree/lib/systemd/system/vek-kiosk.service" >"$dropins/display.conf"
grep -q -- "Xvfb :0 .* -auth /run/vek-kiosk/Xauthority$" "$dropins/display.conf" ||
  fail "the kiosk's X server line is not as expected: $(grep ^ExecStart= "$work/tree/lib/systemd/system/vek-kiosk.service")"
"${in_box[@]}" systemctl daemon-reload
"${in_box[@]}" systemctl start vek-kiosk
export DISPLAY=:0 XAUTHORITY=/run/vek-kiosk/Xauthority
for _ in $(seq 300); do "${in_box[@]}" xdotool search --onlyvisible --name '^AP_VEK$' >/dev/null 2>&1 && break; sleep 0.1; done
"${in_box[@]}" xdotool search --onlyvisible --name '^AP_VEK$' >/dev/null ||
  fail "no terminal on the display: $("${in_box[@]}" journalctl -u vek-kiosk --no-pager | tail -8)"
if "${in_box[@]}" runuser -u nobody -- env DISPLAY=:0 XAUTHORITY= xdotool getdisplaygeometry >/dev/null 2>&1; then
  fail "a user without the session's cookie can use the display"
fi

# Every process of each unit under its sandbox: no new privileges, the system call
# filter on.
processes=$("${in_box[@]}" ps -e -o pid=,unit=,comm=)
for unit in vek-paysim vek-receipt-printer vek-module-host vek-kiosk; do
  count=0
  # (sd-pam) is systemd's keeper of the PAM session, forked before the sandbox.
  for p in $(awk -v u="$unit.service" '$2 == u && $3 != "(sd-pam)" { print $1 }' <<<"$processes"); do
    status=$("${in_box[@]}" cat "/proc/$p/status" 2>/dev/null) || continue # gone meanwhile
    grep -q '^NoNewPrivs:[[:space:]]*1' <<<"$status" && grep -q '^Seccomp:[[:space:]]*2' <<<"$status" ||
      fail "$unit: process $p ($(grep ^Name: <<<"$status")) runs outside the sandbox"
    count=$((count + 1))
  done
  [ "$count" -gt 0 ] || fail "$unit: no processes: $(grep -F "$unit" <<<"$processes")"
  echo "$unit: $count processes under its sandbox"
done

source tests/packaging/Kiosk.sh
use_voucher_at_kiosk /var/lib/vek-demo/receipts/receipt-1.txt
"${in_box[@]}" journalctl -u vek-module-host --no-pager | grep -q 'the host is ready' || fail "the use did not go through the host"
[ "$("${in_box[@]}" sqlite3 /var/lib/vek-terminal/VEK_Journal.db "SELECT approval || ' ' || printed FROM operations")" = "$approval 1" ] ||
  fail "the journal lacks the use"
open_web_page_in_sandbox
echo "under systemd: the demo's services, the module host and the kiosk session sandboxed; a voucher use, its receipt, the web page"
echo "1 passed, 0 failed"
