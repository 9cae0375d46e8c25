#!/usr/bin/env bash
# vek use killed (SIGKILL) at each step of an accepted use, with the stand-in module
# and the payment service simulator: before anything is recorded, with the request in
# flight, after the answer, in the middle of the journal's commit, while printing,
# after the paper and before the journal learnt it (gdb stops it at a function and
# kills it there); and one held up between the whole answer and the hang-up. Then
# the journal and the server's books must agree: every use the server charged is
# printed, owed as a reprint, or shown by vek journal as of unknown outcome with the
# inquiry hint.
#   bash tests/e2e/KilledUse.sh BUILD_BIN
set -euo pipefail
bin=$(cd "${1:?build/bin}" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  sqlite3 "$work/paysim.db" "SELECT id, code, number, amount, result, state FROM operations" >&2 || true
  sqlite3 "$work/VEK_Journal.db" "SELECT id, total, approval, printed FROM operations" >&2 || true
  exit 1
}

cp "$bin/vek" "$work/"
ln -s "$bin/VEKDLL.so" "$work/VEKDLL.so"
mkdir "$work/devices"
ln -s "$work/paper.bin" "$work/devices/LPT1"
printf '[ VEK플레노르가맹점설정 ]\r\n프린트포트=0\r\n가맹점명=플레노르 카페\r\n단말기ID=KILL01\r\n사업자번호=1234567890\r\n' |
  iconv -f UTF-8 -t CP949 >"$work/VEK_Demo.ini"
cd "$work"

command -v gdb >/dev/null || { echo "SKIPPED: no gdb" >&2; exit 77; }
if (exec 3<>/dev/tcp/127.0.0.1/19976) 2>/dev/null; then
  echo "SKIPPED: something already serves on 127.0.0.1:19976, the terminal's fixed server port" >&2
  exit 77
fi
"$bin/paysim" --db "$work/paysim.db" >"$work/paysim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/19976) 2>/dev/null && break; sleep 0.05; done

voucher=1000000000003 # 100,000 won
# kill_at AMOUNT BREAKPOINT [BREAKPOINT ...]: vek use stopped at the last breakpoint
# (each one after the one before it has been reached), then killed.
kill_at() {
  local amount=$1
  shift
  local args=(-batch -ex 'set breakpoint pending on' -ex 'set debuginfod enabled off')
  args+=(-ex "break $1" -ex run)
  shift
  for b in "$@"; do args+=(-ex "break $b" -ex continue); done
  args+=(-ex 'info program' -ex kill)
  gdb "${args[@]}" --args ./vek use "$voucher" "$amount" >"gdb-$amount.log" 2>&1 || true
  grep -q "It stopped at breakpoint $(($# + 1))\." "gdb-$amount.log" ||
    fail "vek use $amount never reached its last breakpoint: $(cat "gdb-$amount.log")"
}

books() { sqlite3 "$work/paysim.db" "$1"; }
journal() { sqlite3 "$work/VEK_Journal.db" "$1"; }
echo "-- killed at each step"
kill_at 1100 'journal::ReceiptDesk::Sending'
kill_at 1200 VEKDataProcPos
kill_at 1300 'journal::ReceiptDesk::Answered'
kill_at 1400 'journal::ReceiptDesk::RecordAndPrint' pwrite64 # the commit's first page written, no more
kill_at 1450 'journal::ReceiptDesk::RecordAndPrint' fdatasync # the commit written, not yet synced
kill_at 1500 'receipt::ReceiptPrinter::Print'
kill_at 1600 'journal::ReceiptDesk::RecordAndPrint' "'journal::(anonymous namespace)::SqliteJournal::SetPrinted'"
./vek use "$voucher" 1700 >/dev/null || fail "the use that nobody killed ended with $?"

echo "-- held up between the whole answer and the hang-up"
# For longer than the server waits for an answer's delivery (10 s): the answer did
# arrive, so the receipt prints and the server keeps the charge. (It runs to its end
# under the debugger, where the leak checker of a sanitized build can't work.)
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 gdb -batch -ex 'set breakpoint pending on' -ex 'set debuginfod enabled off' -ex 'break VEKDataProcPos' -ex run \
  -ex 'break close if $_any_caller_matches("VEKDataProcPos", 4)' -ex continue -ex 'info program' \
  -ex 'shell sleep 11' -ex delete -ex continue --args ./vek use "$voucher" 1800 >gdb-1800.log 2>&1 || true
grep -q "It stopped at breakpoint 2\." gdb-1800.log || fail "vek use 1800 never reached its hang-up: $(cat gdb-1800.log)"
grep -q "exited normally" gdb-1800.log || fail "vek use 1800, held up, did not end with 0: $(cat gdb-1800.log)"
[ "$(journal "SELECT printed FROM operations WHERE total = 1800")" = 1 ] || fail "the use held up was not printed"
[ "$(books "SELECT state FROM operations WHERE amount = 1800")" = done ] ||
  fail "the server reversed the use whose answer arrived before its client was held up: $(cat paysim.log)"

sqlite3 "$work/VEK_Journal.db" "SELECT total, approval, printed FROM operations"  # for the log
./vek journal >listing.txt || fail "vek journal ended with $?"
owed=$(journal "SELECT COUNT(*) FROM operations WHERE printed IN (0, 2)")
grep -qF "인쇄되지 않은 영수증 ${owed}건" listing.txt || fail "vek journal does not count $owed receipts owed: $(cat listing.txt)"

# Every use the server charged (and did not reverse) is accounted for at the counter.
charged=$(books "SELECT amount || ' ' || approval FROM operations WHERE code = '9000' AND result = '0000' AND state <> 'reversed'")
[ -n "$charged" ] || fail "the server charged nothing"
while read -r amount approval; do
  state=$(journal "SELECT printed FROM operations WHERE total = $amount")
  case "$state" in
    1) [ "$(journal "SELECT approval FROM operations WHERE total = $amount")" = "$approval" ] || fail "$amount printed under another approval" ;;
    0 | 2) [ "$(journal "SELECT approval FROM operations WHERE total = $amount")" = "$approval" ] || fail "$amount owed under another approval" ;;
    3 | 4)
      grep -qF "결과를 알 수 없는 거래가 있습니다" listing.txt || fail "no inquiry hint: $(cat listing.txt)"
      grep -qF "$(printf '%s' "$amount" | sed 's/\(.\)\(...\)$/\1,\2/')원" <(sed -n '/결과를 알 수 없는/,$p' listing.txt) ||
        fail "$amount is not among the operations of unknown outcome: $(cat listing.txt)"
      ;;
    *) fail "the server charged $amount ($approval) and the journal has no row for it" ;;
  esac
done <<<"$charged"

# And nothing the journal holds as accepted went uncharged.
for amount in $(journal "SELECT total FROM operations WHERE printed IN (0, 1, 2)"); do
  [ "$(books "SELECT COUNT(*) FROM operations WHERE code = '9000' AND result = '0000' AND amount = $amount AND state <> 'reversed'")" = 1 ] ||
    fail "the journal holds $amount as accepted and the server did not charge it"
done
# The step before anything was recorded sent nothing.
[ "$(books "SELECT COUNT(*) FROM operations WHERE amount = 1100")" = 0 ] || fail "the use killed before the journal reached the server"
cat listing.txt
echo "1 passed, 0 failed"
