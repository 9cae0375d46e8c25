#!/usr/bin/env bash
# The three Debian packages on this machine, as at a counter: build and install them,
# check that the program, its module and the module's folder are root's and that no
# file the terminal loads or runs is writable by its user, that the books and the
# receipts are their owner's alone, and the units' exposure as systemd-analyze
# rates it; start the demo services, the module host and the kiosk session the way
# their units do, in what of their sandboxes applies without systemd (their users
# and groups, folders, environment and umask; a read-only system with only their
# state and runtime folders writable, private /tmp, hidden homes, a private /dev
# where the unit has one, no new privileges, no capabilities; a virtual display
# with the session's cookie stands in for the kiosk's X server and the machine may
# run no systemd), put the stand-in VEKDLL.dll where the provider's module goes (the
# demo's VEKDLL.so, which would take precedence, set aside), make a voucher use with
# the keypad through the module host, check the receipt, the books and the journal,
# open the web page in the browser's own sandbox, then purge the packages and check
# that nothing is left. Run as root on a machine it may install packages on; a run
# that fails purges them too and removes what they and it made (users, folders,
# units), and two runs at once take turns.
# Only systemd applies the units' system call filters, address families, namespace
# restrictions, device lists, kernel and /proc protections and private users:
# UnitsUnderSystemd.sh runs the units under systemd in a container.
set -euo pipefail
cd "$(dirname "$0")/../.."
fail() { echo "FAIL: $*" >&2; exit 1; }
# A unit's settings: every value of KEY, one a line.
unit_values() { sed -n "s/^$2=//p" "/lib/systemd/system/$1"; }
unit_value() { unit_values "$@" | tail -n 1; }
. scripts/locks.sh
packages=(vek-demo vek-module-host vek-terminal)
module=/opt/vek-terminal/module
# What the packages make, and what the test makes as their units would: gone with
# the packages.
made=(/opt/vek-terminal /opt/vek-demo /var/lib/vek-terminal /var/lib/vek-demo
  /lib/systemd/system/vek-kiosk.service /lib/systemd/system/vek-paysim.service
  /lib/systemd/system/vek-receipt-printer.service /lib/systemd/system/vek-module-host.service
  /lib/modules-load.d/vek-terminal.conf /var/cache/vek-receipt-printer /var/lib/vek-ship
  /lib/systemd/system/vek-ship.service)
export DEBIAN_FRONTEND=noninteractive
pids=()
stop() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  pids=()
  pkill -u vek,vek-demo 2>/dev/null || true
  # Wine's service processes (winedevice.exe) may outlast the signal.
  local tries
  for tries in $(seq 50); do pgrep -u vek,vek-demo >/dev/null 2>&1 || break; sleep 0.1; done
  pkill -KILL -u vek,vek-demo 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf /run/vek-terminal /run/vek-kiosk /run/vek-receipt-printer # the runtime folders, as systemd removes them
}
# The machine as before the test, from whatever state a failure (or a killed run)
# left: the packages purged, forced where a maintainer script fails, then what they
# or the test made, their users and groups.
purge() {
  [ ! -e $module/VEKDLL.so.aside ] || mv $module/VEKDLL.so.aside $module/VEKDLL.so || true
  rm -f "$module/VEKDLL.dll" # the merchant's file
  apt_locked apt-get purge -y -q -o DPkg::Lock::Timeout=600 "${packages[@]}" >/dev/null 2>&1 ||
    apt_locked dpkg --purge --force-all "${packages[@]}" >/dev/null 2>&1 || true
  rm -rf "${made[@]}"
  local name
  for name in vek vek-ship vek-demo; do
    ! getent passwd "$name" >/dev/null || userdel "$name" 2>/dev/null || true
    ! getent group "$name" >/dev/null || groupdel "$name" 2>/dev/null || true
  done
}
purged=
# After a failure the units' logs stay, to be read: /tmp/vek-package-test-*.
cleanup() {
  stop
  [ -n "$purged" ] || purge
  release_i386_emulation
}
trap cleanup EXIT

# The packages are the machine's: one package test at a time (another run's waits).
hold_lock "$lock_dir/package-test.lock" "another run's package test"
if (exec 3<>/dev/tcp/127.0.0.1/19976) 2>/dev/null; then
  purged=1 # nothing of ours
  echo "SKIPPED: something already serves on 127.0.0.1:19976" >&2
  exit 0
fi
purge

# Wine's 32-bit half comes from the i386 architecture (emulated where the kernel runs
# no 32-bit program); the packages' dependencies bring Wine.
use_i386_emulation
apt_locked sh -c 'dpkg --print-foreign-architectures | grep -qx i386 || { dpkg --add-architecture i386 && apt-get update -q; }'
bash scripts/package.sh
cmake --build --preset windows --target VEKDLL # the stand-in for the provider's module
apt_locked apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=600 \
  ./build/vek-terminal_*.deb ./build/vek-module-host_*.deb ./build/vek-demo_*.deb >/dev/null
id -nG vek | grep -qw dialout || fail "vek may not use the serial ports"
id -nG vek | grep -qw lp || fail "vek may not use the printer port"
# The shipper: in vek's group (the journal), in no device's; its state folder there
# for the counter's password file.
[ "$(stat -c '%U:%G %a' /var/lib/vek-ship)" = "vek-ship:vek-ship 711" ] || fail "vek-ship's state folder: $(stat -c '%U:%G %a' /var/lib/vek-ship)"
[ "$(id -nG vek-ship | tr ' ' '\n' | sort | paste -sd ' ')" = "vek vek-ship" ] || fail "vek-ship's groups: $(id -nG vek-ship)"

# The program and the payment module are root's: the folder the terminal loads its
# module from (its working folder) and everything in it, the device links, the
# programs. vek writes only its state, in a folder of its own that holds no code.
for unit in vek-kiosk.service vek-module-host.service; do
  [ "$(unit_value "$unit" WorkingDirectory)" = "$module" ] || fail "$unit does not work in $module"
done
grep -q "^cd $module " /opt/vek-terminal/kiosk-session || fail "the session does not start the terminal in $module"
[ "$(stat -c '%U:%G %a' "$module")" = "root:root 755" ] || fail "the module's folder: $(stat -c '%U:%G %a' "$module")"
[ "$(stat -c '%U:%G %a' "$module/VEKDLL.so")" = "root:root 644" ] || fail "the module: $(stat -c '%U:%G %a' "$module/VEKDLL.so")"
not_roots=$(find /opt/vek-terminal /opt/vek-demo \( ! -user root -o ! -group root -o \( ! -type l -perm /022 \) \) -printf '%p %u:%g %m\n')
[ -z "$not_roots" ] || fail "not root's alone: $not_roots"
vek_writes=$(runuser -u vek -- find /opt/vek-terminal /opt/vek-demo -writable)
[ -z "$vek_writes" ] || fail "vek may write: $vek_writes"
for attempt in ": >$module/VEKDLL.so" "cp /bin/true $module/VEKDLL.dll" "mv $module/VEKDLL.so $module/VEKDLL.old" \
  "ln -sfn /tmp /opt/vek-terminal/devices/COM3"; do
  if runuser -u vek -- sh -c "$attempt" 2>/dev/null; then fail "vek could: $attempt"; fi
done
[ "$(getent passwd vek | cut -d: -f6)" = /var/lib/vek-terminal ] || fail "vek's home is not its state folder"
[ "$(stat -c '%U:%G %a' /var/lib/vek-terminal)" = "vek:vek 710" ] || fail "vek's state folder: $(stat -c '%U:%G %a' /var/lib/vek-terminal)"
[ -z "$(find /var/lib/vek-terminal -mindepth 1)" ] || fail "vek's state folder holds files at install"
# The installed settings keep the journal in vek's state folder.
iconv -f CP949 -t UTF-8 /opt/vek-terminal/VEK_Demo.ini | grep -qx '저널파일=/var/lib/vek-terminal/VEK_Journal.db' ||
  fail "the installed settings name no journal in vek's state folder"

# The units' exposure as systemd rates it: the services "OK" (below 5), the kiosk
# session too, as far as its X server and browser let it go.
for unit in vek-paysim.service vek-receipt-printer.service vek-module-host.service vek-ship.service vek-kiosk.service; do
  rating=$(systemd-analyze security --offline=true "/lib/systemd/system/$unit" 2>&1 | sed -n 's/^→ Overall exposure level for .*: //p')
  echo "$unit: exposure $rating"
  awk -v r="${rating%% *}" 'BEGIN { exit !(r != "" && r + 0 < 5) }' || fail "$unit is rated ${rating:-nothing}"
done

# Runs COMMAND (by default the unit's ExecStart) as the unit's service runs under
# systemd, in the background, as far as that goes without it: its user, group and
# supplementary groups, working folder, environment (with the folders systemd makes
# for it, and their variables), umask, and from its sandbox ProtectSystem=strict
# (everything read-only but its state, cache, log and runtime folders),
# PrivateTmp, ProtectHome, PrivateDevices, NoNewPrivileges and an empty
# CapabilityBoundingSet. Extra environment first: as_unit UNIT [VAR=VALUE...] [-- COMMAND...]
as_unit() {
  local unit=$1 user group groups dir umask home
  shift
  local -a extra=() command=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do extra+=("$1"); shift; done
  if [ $# -gt 0 ]; then shift && command=("$@"); fi
  [ ${#command[@]} -gt 0 ] || read -ra command <<<"$(unit_value "$unit" ExecStart)"
  user=$(unit_value "$unit" User)
  group=$(unit_value "$unit" Group)
  group=${group:-$(id -gn "$user")}
  groups=$(id -Gn "$user" | tr ' ' ',')
  for g in $(unit_values "$unit" SupplementaryGroups); do groups+=",$g"; done
  dir=$(unit_value "$unit" WorkingDirectory)
  umask=$(unit_value "$unit" UMask)
  home=$(getent passwd "$user" | cut -d: -f6)
  local -a environment=(PATH=/usr/bin:/bin HOME="$home" USER="$user" LOGNAME="$user") writable=()
  local kind base variable folder mode
  for kind in Runtime:/run:RUNTIME State:/var/lib:STATE Cache:/var/cache:CACHE Logs:/var/log:LOGS; do
    IFS=: read -r kind base variable <<<"$kind"
    mode=$(unit_value "$unit" "${kind}DirectoryMode")
    local paths=""
    for folder in $(unit_values "$unit" "${kind}Directory"); do
      mkdir -p "$base/$folder"
      chown "$user:$group" "$base/$folder"
      chmod "${mode:-0755}" "$base/$folder"
      writable+=("$base/$folder")
      paths+=${paths:+:}$base/$folder
    done
    [ -z "$paths" ] || environment+=("${variable}_DIRECTORY=$paths")
  done
  local line
  while read -r line; do
    [ -z "$line" ] || { read -ra words <<<"$line"; environment+=("${words[@]}"); }
  done < <(unit_values "$unit" Environment)
  local -a privileges=(--reuid="$user" --regid="$group" --groups="$groups")
  [ "$(unit_value "$unit" NoNewPrivileges)" != yes ] || privileges+=(--no-new-privs)
  if grep -qx 'CapabilityBoundingSet=' "/lib/systemd/system/$unit"; then privileges+=(--bounding-set=-all --inh-caps=-all); fi
  # The mounts, in a mount namespace of its own.
  local mounts="set -e"
  if [ "$(unit_value "$unit" ProtectSystem)" = strict ]; then
    mounts+="; for m in \$(awk '{print \$5}' /proc/self/mountinfo | sort -u); do case \$m in /proc | /proc/* | /sys | /sys/* | /dev | /dev/*) ;; *) mount -n -o remount,bind,ro \$m 2>/dev/null || true ;; esac; done"
    mounts+="; if touch /.vek-package-test 2>/dev/null; then echo 'the system is not read-only' >&2; exit 1; fi"
  fi
  if [ "$(unit_value "$unit" PrivateTmp)" = yes ]; then
    mounts+="; mount -n -t tmpfs -o mode=1777 tmpfs /tmp; mount -n -t tmpfs -o mode=1777 tmpfs /var/tmp"
  fi
  if [ "$(unit_value "$unit" PrivateDevices)" = yes ]; then
    # A /dev of the pseudo devices and the pseudo-terminals only, as systemd makes it.
    mounts+="; d=\$(mktemp -d); mount -n -t tmpfs -o mode=0755,nosuid tmpfs \$d"
    mounts+="; for n in null zero full random urandom tty; do touch \$d/\$n; mount -n --bind /dev/\$n \$d/\$n; done"
    # A node of its own: the kernel looks for the pseudo-terminals beside it.
    mounts+="; mknod -m 0666 \$d/ptmx c 5 2"
    mounts+="; for n in pts shm; do mkdir \$d/\$n; mount -n --bind /dev/\$n \$d/\$n; done"
    mounts+="; mount -n --move \$d /dev"
  fi
  for folder in "${writable[@]}"; do mounts+="; mount -n --bind $folder $folder; mount -n -o remount,bind,rw $folder"; done
  if [ "$(unit_value "$unit" ProtectHome)" = yes ]; then
    mounts+="; for h in /home /root /run/user; do [ ! -d \$h ] || mount -n -t tmpfs -o ro,mode=0755 tmpfs \$h; done"
  fi
  unshare --mount --propagation private -- sh -c "$mounts"'; exec "$@"' sandbox \
    setpriv "${privileges[@]}" -- env -i "${environment[@]}" "${extra[@]}" \
    sh -c 'umask "$1"; cd "$2" && shift 2 && exec "$@"' umask "${umask:-0022}" "$dir" "${command[@]}" \
    >"/tmp/vek-package-test-$unit.log" 2>&1 &
  pids+=($!)
}
as_unit vek-paysim.service
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/19976) 2>/dev/null && break; sleep 0.05; done
as_unit vek-receipt-printer.service
# COM3 (root's link) names the printer's line once the printer has linked it in its
# runtime folder: a line the terminal opens through the group of the serial ports.
for _ in $(seq 100); do [ -e /opt/vek-terminal/devices/COM3 ] && break; sleep 0.05; done
[ -e /opt/vek-terminal/devices/COM3 ] || fail "the virtual printer did not come up"
[ "$(stat -L -c '%U:%G %a' /opt/vek-terminal/devices/COM3)" = "vek-demo:dialout 660" ] ||
  fail "the printer's line: $(stat -L -c '%U:%G %a' /opt/vek-terminal/devices/COM3)"

# The provider's module: a Windows library in the module's folder, root's, readable
# by vek; the demo's VEKDLL.so set aside, or it would be used first.
install -o root -g root -m 644 build-windows/bin/VEKDLL.dll "$module/VEKDLL.dll"
mv "$module/VEKDLL.so" "$module/VEKDLL.so.aside"
grep -q '^Before=vek-kiosk.service' /lib/systemd/system/vek-module-host.service ||
  fail "the module host does not start before the kiosk session"
started=$(date +%s%N)
as_unit vek-module-host.service
host_log=/tmp/vek-package-test-vek-module-host.service.log
for _ in $(seq 1800); do
  grep -q 'the host is ready' "$host_log" && break
  kill -0 "${pids[-1]}" 2>/dev/null || break
  sleep 0.1
done
grep -q 'the host is ready' "$host_log" || fail "the module host did not start: $(cat "$host_log")"
echo "module host ready $((($(date +%s%N) - started) / 1000000)) ms after its start (the Wine prefix made)"
# Wine's server is wine64's, which the package depends on: native also where 32-bit
# programs go through the emulator, whose lack of ptrace would keep the server from
# attaching Wine's debugger to a faulting module.
server=$(pgrep -u vek '^wineserver' | head -n 1)
[ "$(readlink "/proc/${server:-0}/exe")" = /usr/lib/wine/wineserver64 ] ||
  fail "Wine's server for the module host is not wine64's: $(readlink "/proc/${server:-0}/exe")"
[ "$(stat -c '%U %a' /run/vek-terminal/module.sock)" = "vek 600" ] || fail "the socket is not vek's alone"
[ "$(stat -c %U /var/lib/vek-terminal/wine)" = vek ] || fail "no Wine prefix of vek's"
# vek in the module's folder reaches the host; another user doesn't.
(cd "$module" && runuser -u vek -- /opt/vek-terminal/vek inquiry 1000000000003 >/dev/null) ||
  fail "vek could not make an inquiry through the module host"
status=0
(cd "$module" && runuser -u nobody -- /opt/vek-terminal/vek inquiry 1000000000003 >/dev/null 2>&1) || status=$?
[ "$status" = 3 ] || fail "a user other than vek reached the module host (vek ended with $status)"

# The kiosk: xinit's X server is a virtual display here, which lets in only those
# with the session's cookie, made as the unit makes it; the session script is the
# unit's own.
display=:77
eval "pre=($(unit_value vek-kiosk.service ExecStartPre))"
as_unit vek-kiosk.service -- "${pre[@]//:0/$display}"
wait "${pids[-1]}" || fail "no cookie for the display: $(cat /tmp/vek-package-test-vek-kiosk.service.log)"
export XAUTHORITY=/run/vek-kiosk/Xauthority
[ "$(unit_value vek-kiosk.service Environment)" = "XAUTHORITY=$XAUTHORITY" ] || fail "the session's cookie is not where the unit says"
grep -q -- "-auth $XAUTHORITY\$" /lib/systemd/system/vek-kiosk.service || fail "the kiosk's X server asks for no cookie"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -auth "$XAUTHORITY" -noreset >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do DISPLAY=$display xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.05; done
DISPLAY=$display xdotool getdisplaygeometry >/dev/null || fail "the display did not come up"
if runuser -u nobody -- env DISPLAY=$display xdotool getdisplaygeometry >/dev/null 2>&1; then
  fail "a user without the session's cookie can use the display"
fi
grep -q '^ExecStart=/usr/bin/xinit /opt/vek-terminal/kiosk-session' /lib/systemd/system/vek-kiosk.service ||
  fail "the kiosk unit does not start the session"
started=$(date +%s%N)
as_unit vek-kiosk.service DISPLAY="$display" -- /opt/vek-terminal/kiosk-session
export DISPLAY=$display
for _ in $(seq 200); do xdotool search --onlyvisible --name '^AP_VEK$' >/dev/null 2>&1 && break; sleep 0.02; done
shown=$(date +%s%N)
echo "voucher screen shown $(((shown - started) / 1000000)) ms after the session started"
ps -o user= -C AP_VEK | grep -qx vek || fail "the terminal does not run as vek"
terminal=$(pgrep -u vek -x AP_VEK)
grep -q '^NoNewPrivs:[[:space:]]*1' "/proc/$terminal/status" || fail "the terminal may gain privileges"
grep -q '^CapBnd:[[:space:]]*0*$' "/proc/$terminal/status" || fail "the terminal keeps capabilities"

in_box=()
source tests/packaging/Kiosk.sh
receipt=/var/lib/vek-demo/receipts/receipt-1.txt
use_voucher_at_kiosk "$receipt"
[ "$(books "SELECT balance FROM instruments WHERE number='1000000000003'")" = 93000 ] || fail "balance not booked"
open_web_page_in_sandbox

# No program or library the terminal, its browser or the module host has mapped is
# writable by vek, nor is the module the host calls. Every ELF or PE image a process
# maps counts, not only what is mapped to run: Wine maps a Windows program's image
# without that, and a program run by the emulator maps none so (the emulator runs
# its own translation). Except Wine's own copies of its system libraries in the
# prefix, which is vek's state as its registry is: a 32-bit program in a 64-bit
# prefix maps the prefix's wow64cpu.dll. Listed, not checked.
code_files() { # PID: each file read through its mapping, whatever mounts or root the process has
  local range f
  readlink "/proc/$1/exe" || true
  sed -nE 's#^([^ ]+) +([^ ]+ +){4}(/.*)$#\1 \3#p' "/proc/$1/maps" 2>/dev/null | sort -u -k2 |
    while read -r range f; do
      range=$(printf '%x-%x' $((16#${range%-*})) $((16#${range#*-}))) # named without leading zeros
      case "$(head -c 4 "/proc/$1/map_files/$range" 2>/dev/null | od -An -tx1 | tr -d ' \n')" in
        7f454c46 | 4d5a*) echo "${f% (deleted)}" ;;
      esac
    done
}
for p in $(pgrep -u vek); do code_files "$p"; done | sort -u >/tmp/vek-package-test-code.txt
prefix_copies=$(grep '^/var/lib/vek-terminal/wine/drive_c/windows/' /tmp/vek-package-test-code.txt || true)
[ -z "$prefix_copies" ] || echo "Wine's copies in vek's prefix, mapped: $(echo $prefix_copies)"
sed -i '\#^/var/lib/vek-terminal/wine/drive_c/windows/#d' /tmp/vek-package-test-code.txt
grep -q '^/opt/vek-terminal/AP_VEK$' /tmp/vek-package-test-code.txt || fail "the terminal's code was not found"
grep -q '^/opt/vek-terminal/vek-module-host\.exe$' /tmp/vek-package-test-code.txt &&
  grep -q '/wine/i386-windows/ntdll\.dll$' /tmp/vek-package-test-code.txt || fail "the module host's code was not found"
echo "$module/VEKDLL.dll" >>/tmp/vek-package-test-code.txt
while read -r code; do
  if runuser -u vek -- test -w "$code"; then fail "vek may rewrite $code, which runs as the terminal"; fi
done </tmp/vek-package-test-code.txt
echo "code mapped by vek's processes: $(wc -l </tmp/vek-package-test-code.txt) files, none writable by vek"

# The books and the receipts are vek-demo's alone; the journal, vek's.
private=$(find /var/lib/vek-demo \( ! -user vek-demo -o \( -type d ! -perm 0700 \) -o \( -type f ! -perm 0600 \) \) -printf '%p %u %m\n')
[ -z "$private" ] || fail "books or receipts not private: $private"
for secret in /var/lib/vek-demo/paysim.db "$receipt"; do
  if runuser -u vek -- cat "$secret" >/dev/null 2>&1; then fail "vek can read $secret"; fi
done
journal=/var/lib/vek-terminal/VEK_Journal.db
[ "$(stat -c '%U %a' "$journal")" = "vek 600" ] || fail "the journal: $(stat -c '%U %a' "$journal" 2>&1)"
[ "$(sqlite3 "$journal" "SELECT approval || ' ' || printed FROM operations")" = "$approval 1" ] ||
  fail "the journal: $(sqlite3 "$journal" 'SELECT approval, printed FROM operations')"
# The shipper passes through vek's state folder and reads nothing there: the
# installed settings name no head office, so the journal stays vek's alone.
if runuser -u vek-ship -- ls /var/lib/vek-terminal >/dev/null 2>&1; then fail "vek-ship may list vek's state folder"; fi
shipper_reads=$(find /var/lib/vek-terminal -mindepth 1 -exec runuser -u vek-ship -- test -r {} \; -print)
[ -z "$shipper_reads" ] || fail "vek-ship may read: $shipper_reads"

echo "installed packages: $(dpkg-query -W -f='${Package} ${Installed-Size} KiB\n' vek-terminal vek-module-host vek-demo | paste -sd ',' | sed 's/,/, /g')"

# The packages' own purge leaves nothing.
stop
mv $module/VEKDLL.so.aside $module/VEKDLL.so
rm "$module/VEKDLL.dll" # the merchant's file
apt_locked apt-get purge -y -q -o DPkg::Lock::Timeout=600 "${packages[@]}" >/dev/null
for left in "${made[@]}"; do
  [ ! -e "$left" ] || fail "purge left $left"
done
! getent passwd vek vek-ship vek-demo >/dev/null || fail "purge left a user"
! getent group vek vek-ship vek-demo >/dev/null || fail "purge left a group"
purged=1
rm -f /tmp/vek-package-test-*
echo "1 passed, 0 failed"
