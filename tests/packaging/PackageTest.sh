#!/usr/bin/env bash
# The three Debian packages on this machine, as at a counter: build and install them,
# start the demo services, the module host and the kiosk session the way their
# units do (as their users, from their working folders, with their environment; a
# virtual display stands in for the kiosk's X server and the machine may run no
# systemd), put the stand-in VEKDLL.dll where the provider's module goes (the demo's
# VEKDLL.so, which would take precedence, set aside), make a voucher use with the
# keypad through the module host, check the receipt and the books, then purge the
# packages and check that nothing is left. Run as root on a machine it may install
# packages on.
set -euo pipefail
cd "$(dirname "$0")/../.."
fail() { echo "FAIL: $*" >&2; exit 1; }
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  pkill -u vek 2>/dev/null || true
  pkill -u vek-demo 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf /run/vek-terminal # the module host's runtime folder, as systemd removes it
  [ ! -e /var/lib/vek-terminal/VEKDLL.so.aside ] || mv /var/lib/vek-terminal/VEKDLL.so.aside /var/lib/vek-terminal/VEKDLL.so
}
trap cleanup EXIT

if (exec 3<>/dev/tcp/127.0.0.1/19976) 2>/dev/null; then
  echo "SKIPPED: something already serves on 127.0.0.1:19976" >&2
  exit 0
fi
apt-get purge -y -q vek-demo vek-module-host vek-terminal >/dev/null 2>&1 || true

# Wine's 32-bit half comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  apt-get update -q
fi
bash scripts/package.sh
cmake --build --preset windows --target VEKDLL # the stand-in for the provider's module
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q --no-install-recommends ./build/vek-terminal_*.deb ./build/vek-module-host_*.deb \
  ./build/vek-demo_*.deb >/dev/null
id -nG vek | grep -qw dialout || fail "vek may not use the serial ports"
id -nG vek | grep -qw lp || fail "vek may not use the printer port"

# A unit's service as systemd would start it: its user, folder, environment, runtime
# folder and command line.
start_unit() {
  local unit=/lib/systemd/system/$1 user dir command runtime
  user=$(sed -n 's/^User=//p' "$unit")
  dir=$(sed -n 's/^WorkingDirectory=//p' "$unit")
  command=$(sed -n 's/^ExecStart=//p' "$unit")
  runtime=$(sed -n 's/^RuntimeDirectory=//p' "$unit")
  if [ -n "$runtime" ]; then
    install -d -o "$user" -g "$user" -m "$(sed -n 's/^RuntimeDirectoryMode=//p' "$unit")" "/run/$runtime"
  fi
  read -ra environment <<<"$(sed -n 's/^Environment=//p' "$unit")"
  runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$dir" "${environment[@]}" sh -c "cd '$dir' && exec $command" \
    >"/tmp/vek-package-test-$1.log" 2>&1 &
  pids+=($!)
}
start_unit vek-paysim.service
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/19976) 2>/dev/null && break; sleep 0.05; done
start_unit vek-receipt-printer.service
for _ in $(seq 100); do [ -L /opt/vek-terminal/devices/COM3 ] && break; sleep 0.05; done
[ -L /opt/vek-terminal/devices/COM3 ] || fail "the virtual printer did not come up"

# The provider's module: a Windows library in the working folder, root's, readable
# by vek; the demo's VEKDLL.so set aside, or it would be used first.
install -o root -g root -m 644 build-windows/bin/VEKDLL.dll /var/lib/vek-terminal/VEKDLL.dll
mv /var/lib/vek-terminal/VEKDLL.so /var/lib/vek-terminal/VEKDLL.so.aside
grep -q '^Before=vek-kiosk.service' /lib/systemd/system/vek-module-host.service ||
  fail "the module host does not start before the kiosk session"
started=$(date +%s%N)
start_unit vek-module-host.service
host_log=/tmp/vek-package-test-vek-module-host.service.log
for _ in $(seq 1800); do grep -q 'the host is ready' "$host_log" && break; sleep 0.1; done
grep -q 'the host is ready' "$host_log" || fail "the module host did not start: $(cat "$host_log")"
echo "module host ready $((($(date +%s%N) - started) / 1000000)) ms after its start (the Wine prefix made)"
[ "$(stat -c '%U %a' /run/vek-terminal/module.sock)" = "vek 600" ] || fail "the socket is not vek's alone"
[ "$(stat -c %U /var/lib/vek-terminal/wine)" = vek ] || fail "no Wine prefix of vek's"
# vek from a folder with the module reaches the host; another user doesn't.
caller=$(mktemp -d)
cp build-windows/bin/VEKDLL.dll "$caller/"
chmod 755 "$caller"
(cd "$caller" && runuser -u vek -- /opt/vek-terminal/vek inquiry 1000000000003 >/dev/null) ||
  fail "vek could not make an inquiry through the module host"
status=0
(cd "$caller" && runuser -u nobody -- /opt/vek-terminal/vek inquiry 1000000000003 >/dev/null 2>&1) || status=$?
rm -rf "$caller"
[ "$status" = 3 ] || fail "a user other than vek reached the module host (vek ended with $status)"

# The kiosk: xinit's X server is a virtual display here; the session script is the
# unit's own.
display=:77
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -ac -noreset >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do DISPLAY=$display xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.05; done
grep -q '^ExecStart=/usr/bin/xinit /opt/vek-terminal/kiosk-session' /lib/systemd/system/vek-kiosk.service ||
  fail "the kiosk unit does not start the session"
started=$(date +%s%N)
runuser -u vek -- env -i PATH=/usr/bin:/bin HOME=/var/lib/vek-terminal DISPLAY="$display" \
  /opt/vek-terminal/kiosk-session >/tmp/vek-package-test-session.log 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 200); do xdotool search --onlyvisible --name '^AP_VEK$' >/dev/null 2>&1 && break; sleep 0.02; done
shown=$(date +%s%N)
echo "voucher screen shown $(((shown - started) / 1000000)) ms after the session started"
ps -o user= -C AP_VEK | grep -qx vek || fail "the terminal does not run as vek"

touch_at() { xdotool mousemove "$1" "$2" click 1; sleep 0.15; }
key_x=(636 635 769 901 636 769 901 636 769 901) # key n's centre, n = 0..9
key_y=(565 287 288 288 381 381 381 470 470 470)
press_digits() { local s=$1 i; for ((i = 0; i < ${#s}; i++)); do touch_at "${key_x[${s:i:1}]}" "${key_y[${s:i:1}]}"; done; }
press_digits 1000000000003 # the first touches go to the voucher number
touch_at 326 476 && press_digits 7000
touch_at 171 613 # use
books() { sqlite3 /var/lib/vek-demo/paysim.db "$1"; }
for _ in $(seq 60); do [ "$(books "SELECT amount || ' ' || result FROM operations WHERE code='9000'")" = "7000 0000" ] && break; sleep 0.1; done
[ "$(books "SELECT number || ' ' || amount || ' ' || result FROM operations WHERE code='9000'")" = "1000000000003 7000 0000" ] ||
  fail "books: $(books 'SELECT code, number, amount, result FROM operations')"
[ "$(books "SELECT balance FROM instruments WHERE number='1000000000003'")" = 93000 ] || fail "balance not booked"
approval=$(books "SELECT approval FROM operations WHERE code='9000'")
for _ in $(seq 60); do [ -s /var/lib/vek-demo/receipts/receipt-1.txt ] && break; sleep 0.1; done
receipt=/var/lib/vek-demo/receipts/receipt-1.txt
grep -qF "[미스터쿠모 로드 이용권 사용]" "$receipt" || fail "no receipt: $(ls /var/lib/vek-demo/receipts)"
grep -qF "  승인번호 : $approval" "$receipt" || fail "the receipt lacks approval $approval"
grep -qF "7,000원" "$receipt" || fail "the receipt lacks the amount"
# The web page screen: the browser runs as vek, its page renderer in the sandbox
# (seccomp filter on, in a namespace of its own).
sandboxed() {
  local p
  for p in $(pgrep -u vek -f QtWebEngineProcess); do grep -q '^Seccomp:[[:space:]]*2' "/proc/$p/status" && return 0; done
  return 1
}
touch_at 650 50
for _ in $(seq 150); do sandboxed && break; sleep 0.1; done
sandboxed || fail "no sandboxed page renderer: $(tail -5 /tmp/vek-package-test-session.log)"
if pgrep -u vek -af QtWebEngineProcess | grep -q -- '--no-sandbox'; then fail "the browser runs without its sandbox"; fi
echo "installed packages: $(dpkg-query -W -f='${Package} ${Installed-Size} KiB\n' vek-terminal vek-module-host vek-demo | paste -sd ',' | sed 's/,/, /g')"

cleanup
pids=()
rm /var/lib/vek-terminal/VEKDLL.dll # the merchant's file
apt-get purge -y -q vek-demo vek-module-host vek-terminal >/dev/null
for left in /opt/vek-terminal /opt/vek-demo /var/lib/vek-terminal /var/lib/vek-demo \
  /lib/systemd/system/vek-kiosk.service /lib/systemd/system/vek-paysim.service \
  /lib/systemd/system/vek-receipt-printer.service /lib/systemd/system/vek-module-host.service; do
  [ ! -e "$left" ] || fail "purge left $left"
done
! getent passwd vek vek-demo >/dev/null || fail "purge left a user"
! getent group vek vek-demo >/dev/null || fail "purge left a group"
echo "1 passed, 0 failed"
