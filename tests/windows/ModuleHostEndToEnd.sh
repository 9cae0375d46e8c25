#!/usr/bin/env bash
# The Linux vek with a Windows payment module, VEKDLL.dll, through the module host:
# the supervisor vek-module-host and vek-module-host.exe under Wine in the private
# prefix WINEPREFIX (a second supervisor with a time limit of 3 s for the call that
# never returns, a third with a host that can't start).
#   1. The scripted VEKDLL.dll playing the golden replies: every receipt byte for
#      byte, and the module gets exactly the request it gets in process.
#   2. Each failure with its outcome: a module that faults (and the next call
#      works), a fault left to Wine's debugger (its report in the log, never in the
#      answers; where Wine's server runs under the emulator, its failure to
#      attach), a call that never returns, no library, no entry point, a reply of
#      1025 bytes without a zero, no supervisor, a user other than the supervisor's,
#      a host that can't start.
#   ModuleHostEndToEnd.sh WINDOWS_BIN LINUX_BIN
set -euo pipefail
win=$(cd "${1:?build-windows/bin}" && pwd)
bin=$(cd "${2:?build/bin}" && pwd)
golden=$(cd "$(dirname "$0")/../golden" && pwd)
: "${WINEPREFIX:?a private Wine prefix}"
work=$(mktemp -d)
other=$(mktemp -d)
supervisor=
others=()
cleanup() {
  for p in $supervisor "${others[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work" "$other"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  sed 's/^/  supervisor: /' "$work/supervisor.log" >&2 || true
  exit 1
}

# The program folder is the working folder, as at a counter: vek, its settings,
# the printer port on a file, the module.
cp "$bin/vek" "$work/"
printf '[ VEK플레노르가맹점설정 ]\r\n프린트포트=0\r\n가맹점명=플레노르 카페\r\n단말기ID=1004\r\n사업자번호=1234567890\r\n전화번호=02-123-4567\r\n가맹점주소=서울시 강남구 테헤란로 1\r\n' |
  iconv -f UTF-8 -t CP949 >"$work/VEK_Demo.ini"
mkdir "$work/devices"
ln -s "$work/paper.bin" "$work/devices/LPT1"

# Starts a supervisor on SOCKET with its log in LOG and waits until its host is ready.
serve() {
  local socket=$1 log=$2
  shift 2
  "$bin/vek-module-host" --socket "$socket" --host "$win/vek-module-host.exe" "$@" >"$log" 2>&1 &
  last=$!
  for _ in $(seq 600); do grep -q 'the host is ready' "$log" && return; sleep 0.1; done
  fail "the host did not start: $(cat "$log")"
}
serve "$work/module.sock" "$work/supervisor.log"
supervisor=$last
[ "$(stat -c %a "$work/module.sock")" = 600 ] || fail "the socket is open to others"
export VEK_MODULE_SOCKET=$work/module.sock

# Runs vek in the folder: its status, its output in out.txt and err.txt.
run() { (cd "$work" && ./vek "$@" >out.txt 2>err.txt) && echo 0 || echo $?; }
said() { cat "$work/$1"; }
module() { rm -f "$work/VEKDLL.so" "$work/VEKDLL.dll" "$work/scripted-action.txt" && cp "$1" "$work/$2"; }
misbehave() { echo "$1" >"$work/scripted-action.txt"; }
unknown="거래결과를 알 수 없습니다. 다시 하기 전에 조회로 확인하십시오."
golden_use_works() {
  rm -f "$work/scripted-action.txt"
  "$bin/golden-operation" 0 "$work" >/dev/null
  : >"$work/paper.bin"
  [ "$(run use 1234567890123 10000)" = 0 ] || fail "the call after $1 did not work: $(said err.txt)"
  cmp -s "$work/paper.bin" "$golden/receipt-voucher-use.lpt" || fail "the receipt after $1 differs"
}

echo "-- the golden receipts through the host, the request as in process"
names=(voucher-use voucher-cancel cashcard-approval cashcard-cancel)
for n in 0 1 2 3; do
  "$bin/golden-operation" "$n" "$work" >"$work/args.txt" || fail "golden-operation $n"
  mapfile -t args <"$work/args.txt"
  module "$bin/libscripted_vekdll.so" VEKDLL.so
  [ "$(run "${args[@]}")" = 0 ] || fail "in process: vek ${args[*]}"
  mv "$work/scripted-request.bin" "$work/in-process.bin"
  module "$win/libscripted_vekdll.dll" VEKDLL.dll
  : >"$work/paper.bin"
  [ "$(run "${args[@]}")" = 0 ] || fail "through the host: vek ${args[*]}: $(said err.txt)"
  cmp -s "$work/paper.bin" "$golden/receipt-${names[n]}.lpt" || fail "receipt ${names[n]} differs"
  cmp -s "$work/scripted-request.bin" "$work/in-process.bin" || fail "the module got another request for ${names[n]}"
  [ "$(cat "$work/scripted-call.txt")" = "127.0.0.1 19976" ] || fail "the module got $(cat "$work/scripted-call.txt")"
done

# Under qemu's i386 emulator (scripts/i386-emulation.sh) the signal of a fault
# carries no page-fault trap number, so Wine names the write to address 0 another
# exception: there the host's report and the debugger's are checked for a code only.
access_violation='0xC0000005' page_fault='page fault'
if grep -qx enabled /proc/sys/fs/binfmt_misc/vek-i386 2>/dev/null; then
  access_violation='0x[0-9A-F]\{8\}' page_fault='.'
fi

echo "-- a module that faults: the outcome unknown, the host started again"
misbehave crash
status=$(run use 1234567890123 10000)
[ "$status" = 2 ] || fail "a fault ended with $status"
grep -qF "결제모듈 비정상 종료: $unknown" "$work/out.txt" || fail "a fault said '$(said out.txt)'"
grep -q "the module raised exception $access_violation" "$work/supervisor.log" || fail "the host did not say why it ended"
golden_use_works "a fault"

# Wine's server attaches a debugger with ptrace, which qemu's emulator doesn't have:
# where the server itself is a 32-bit program run by the emulator (Wine's 32-bit
# half alone on a kernel without 32-bit programs), the debugger starts and can't
# attach. Whether it is: the program of this prefix's server process.
server_emulated() {
  local p
  for p in $(pgrep '^wineserver'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    case "$(readlink "/proc/$p/exe")" in */wineserver*) return 1 ;; *) return 0 ;; esac
  done
  fail "no Wine server for $WINEPREFIX"
}

echo "-- a fault left to Wine's debugger: its report in the log, not in the answers"
misbehave crash-to-debugger
[ "$(run use 1234567890123 10000)" = 2 ] || fail "a fault for the debugger did not end as unknown"
grep -qF "결제모듈 비정상 종료: $unknown" "$work/out.txt" || fail "a fault for the debugger said '$(said out.txt)'"
grep -q "^wine: Unhandled .*, starting debugger\.\.\.$" "$work/supervisor.log" || fail "the fault was not left to Wine's debugger"
if server_emulated; then
  echo "   (Wine's server runs under the emulator: the debugger can't attach)"
  grep -q "^Can't attach process [0-9a-f]*: error 5$" "$work/supervisor.log" || fail "Wine's debugger did not say why it can't attach"
else
  grep -q "Unhandled exception: $page_fault" "$work/supervisor.log" || fail "Wine's debugger did not report"
fi
grep -q 'scripted module: about to fault' "$work/supervisor.log" || fail "the module's standard output went elsewhere"
! grep -q 'malformed' "$work/supervisor.log" || fail "something wrote into the channel"
golden_use_works "the debugger"

echo "-- a module that never returns: the time limit"
serve "$work/limited.sock" "$work/limited.log" --time-limit 3
others+=("$last")
misbehave hang
started=$(date +%s%N)
status=$(VEK_MODULE_SOCKET=$work/limited.sock run use 1234567890123 10000)
[ "$status" = 2 ] || fail "a hanging module ended with $status"
took=$((($(date +%s%N) - started) / 1000000))
grep -qF "결제모듈 응답시간 초과: $unknown" "$work/out.txt" || fail "a time-out said '$(said out.txt)'"
((took >= 3000 && took < 15000)) || fail "a time-out took $took ms"
grep -q 'no answer within 3 s' "$work/limited.log" || fail "the host was not stopped: $(cat "$work/limited.log")"
VEK_MODULE_SOCKET=$work/limited.sock golden_use_works "a time-out"

echo "-- no library, no entry point: the module box, nothing sent"
echo "not a library" >"$work/VEKDLL.dll"
[ "$(run use 1234567890123 10000)" = 3 ] || fail "a file that is no library did not end in the module box"
[ "$(said err.txt)" = "신용모듈오류" ] || fail "no library said '$(said err.txt)'"
module "$win/libnoentry_vekdll.dll" VEKDLL.dll
[ "$(run use 1234567890123 10000)" = 3 ] || fail "a library without the entry point did not end in the module box"

echo "-- a reply of 1025 bytes without a zero: read as far as 1024"
module "$win/libscripted_vekdll.dll" VEKDLL.dll
{ printf '\0'; head -c 1025 /dev/zero | tr '\0' R; } >"$work/scripted-reply.bin"
[ "$(run use 1234567890123 10000)" = 2 ] || fail "a false answer did not end with 2"
[ "$(cat "$work/out.txt")" = "$(head -c 1024 /dev/zero | tr '\0' R)" ] || fail "the reply was read as $(wc -c <"$work/out.txt") bytes"

echo "-- no supervisor: the module box"
status=$(VEK_MODULE_SOCKET=$work/nobody-listens.sock run use 1234567890123 10000)
[ "$status" = 3 ] || fail "without a supervisor vek ended with $status"

echo "-- a user other than the supervisor's: refused, nothing sent"
cp "$work/vek" "$work/VEK_Demo.ini" "$work/VEKDLL.dll" "$other/"
# A printer that can print, or vek stops at its check before it calls the module.
mkdir "$other/devices"
ln -s "$other/paper.bin" "$other/devices/LPT1"
"$bin/golden-operation" 0 "$other" >/dev/null
mkdir -p "$other/devices" # a printer that can print: the module is what is refused
ln -sfn "$other/paper.bin" "$other/devices/LPT1"
# That user's own folder, which the terminal takes a module from (one that others
# could write would be refused before the supervisor is asked).
chown -R nobody "$other"
chmod 755 "$work"
as_nobody() { (cd "$other" && runuser -u nobody -- env VEK_MODULE_SOCKET="$VEK_MODULE_SOCKET" ./vek use 1234567890123 10000 >/dev/null 2>&1) && echo 0 || echo $?; }
[ "$(as_nobody)" = 3 ] || fail "another user got through the socket file"
chmod 666 "$work/module.sock" # the mode loosened: the supervisor still asks who calls
[ "$(as_nobody)" = 3 ] || fail "another user got through the supervisor"
grep -q 'refused a caller running as user' "$work/supervisor.log" || fail "the supervisor did not refuse the caller"
[ ! -e "$other/scripted-call.txt" ] || fail "the module was called for another user"
echo "-- a host that can't start: the module box at once, new starts paced"
"$bin/vek-module-host" --socket "$work/broken.sock" --host "$work/no-such-host.exe" >"$work/broken.log" 2>&1 &
broken=$!
others+=("$broken")
sleep 1
started=$(date +%s%N)
status=$(VEK_MODULE_SOCKET=$work/broken.sock run use 1234567890123 10000)
took=$((($(date +%s%N) - started) / 1000000))
sleep 2
kill "$broken"
[ "$status" = 3 ] || fail "a call with a host that can't start ended with $status"
((took < 5000)) || fail "a call with a host that can't start took $took ms"
starts=$(grep -c 'under Wine' "$work/broken.log")
((starts <= 4)) || fail "a host that can't start was started $starts times in 3 s"
echo "1 passed, 0 failed"
