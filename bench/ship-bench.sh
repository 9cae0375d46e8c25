#!/usr/bin/env bash
# A voucher use's time at the counter with and without the shipper beside it, in
# the same run: the real vek against the stand-in module and the simulator on
# ports of the run's own (tests/support's redirecting module: vek calls its module
# with the service's fixed port), vek-ship as the service runs it, shipping to a
# local cluster with TLS (tests/office/OfficeCluster.sh). One shipper runs all along
# and rounds alternate: a block of uses with it stopped (SIGSTOP), then a block with
# it running, long enough for it to look at the journal (every second) and ship
# during the uses. Prints each side's median and p99 (from the start of vek to its
# exit) and the p99's ratio.
#   [OFFICE_FLUSHES=on] [OFFICE_NICE=0] bash bench/ship-bench.sh [USES_PER_SIDE] [BLOCK]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$here/../build/bin" && pwd)
uses=${1:-1000}
block=${2:-100}
pgbin=/usr/lib/postgresql/15/bin
for program in vek vek-ship vek-office paysim VEKDLL.so libredirected_vekdll.so; do
  [ -e "$bin/$program" ] || { echo "build first: $bin/$program is missing" >&2; exit 1; }
done
work=$(mktemp -d)
pids=()
shipper=
cleanup() {
  for p in "${pids[@]}" $shipper; do kill -9 "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  stop_office
  rm -rf "$work"
}
trap cleanup EXIT
# The office is another machine at a counter: its cluster here, on the counter's two
# cores and disk, yields the processor to the terminal (OFFICE_NICE=0: not at all)
# and flushes nothing to the counter's disk (OFFICE_FLUSHES=on: it does, and its
# flushes wait beside the journal's synced commits).
office_nice=${OFFICE_NICE:-10}
office_flushes=${OFFICE_FLUSHES:-off}
. "$here/../tests/office/OfficeCluster.sh"
cd "$work"
if [ "$office_flushes" != on ]; then
  psql "$office" -XAtqc "ALTER SYSTEM SET fsync = off" -c "ALTER SYSTEM SET synchronous_commit = off" \
    -c "SELECT pg_reload_conf()" >/dev/null
fi
"$bin/vek-office" migrate --db "$office" >/dev/null
"$bin/vek-office" add-counter --db "$office" BENCH01 1234567890 2>/dev/null >password

paysim_port=$(free_port)
"$bin/paysim" --db "$work/paysim.db" --port "$paysim_port" --http-port "$(free_port)" >paysim.log 2>&1 &
pids+=($!)
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/"$paysim_port") 2>/dev/null && break; sleep 0.05; done
export VEK_REDIRECT_MODULE=$bin/VEKDLL.so VEK_REDIRECT_PORT=$paysim_port
mkdir -p counter/devices counter/ship
cp "$bin/vek" "$bin/vek-ship" counter/
ln -s "$bin/libredirected_vekdll.so" counter/VEKDLL.so
ln -s "$work/paper.bin" counter/devices/LPT1
install -m 600 password counter/ship/password
printf '[ VEK플레노르가맹점설정 ]\r\n프린트포트=0\r\n단말기ID=BENCH01\r\n사업자번호=1234567890\r\n본사DB=host=localhost port=%s dbname=office user=counter_bench01_1234567890 sslrootcert=%s\r\n발송폴더=%s\r\n' \
  "$pgport" "$work/ca.crt" "$work/counter/ship/" | iconv -f UTF-8 -t CP949 >counter/VEK_Demo.ini
cd counter

# One use, timed in microseconds from its start to its exit. Vouchers 1 to 6 of the
# simulator's, one won each, in turn.
n=0
use() {
  local voucher=100000000000$((n % 6 + 1)) began ended
  n=$((n + 1))
  began=$(date +%s%N)
  ./vek use "$voucher" 1 >use.out 2>&1 || { echo "vek use ended with $?: $(cat use.out)" >&2; exit 1; }
  ended=$(date +%s%N)
  echo $(((ended - began) / 1000)) >>"$1"
}
use /dev/null # the files in the page cache, the journal made
./vek-ship --once >/dev/null
: >without.txt
: >with.txt
nice -n 10 ./vek-ship 2>>ship.log & # as its unit runs it (Nice=10)
shipper=$!
sleep 0.5 # connected
while [ "$(wc -l <without.txt)" -lt "$uses" ]; do
  kill -STOP "$shipper"
  for _ in $(seq "$block"); do use without.txt; done
  kill -CONT "$shipper"
  for _ in $(seq "$block"); do use with.txt; done
done
kill "$shipper"
wait "$shipper" 2>/dev/null || true
shipper=
./vek-ship --once >/dev/null || { echo "the office did not get the journal: $(cat ship.log)" >&2; exit 1; }
shipped=$(psql "$office" -XAtqc "SELECT count(*) FROM operations")
journal=$(sqlite3 VEK_Journal.db "SELECT count(*) FROM operations")
[ "$shipped" = "$journal" ] || { echo "the office holds $shipped rows, the journal $journal" >&2; exit 1; }

# Median and p99 (nearest rank) of a file of microseconds, in milliseconds.
stats() { sort -n "$1" | awk '{ v[NR] = $1 } END { m = v[int((NR + 1) / 2)]; p = v[int(NR * 0.99 + 0.999)]; printf "%.2f %.2f\n", m / 1000, p / 1000 }'; }
read -r median_without p99_without < <(stats without.txt)
read -r median_with p99_with < <(stats with.txt)
printf 'vek use, %d each side, blocks of %d, %d rows shipped; the office at nice %s, its flushes %s\n' \
  "$uses" "$block" "$shipped" "$office_nice" "$office_flushes"
printf '  without vek-ship: median %s ms, p99 %s ms\n' "$median_without" "$p99_without"
printf '  with vek-ship:    median %s ms, p99 %s ms\n' "$median_with" "$p99_with"
awk -v a="$p99_with" -v b="$p99_without" 'BEGIN { printf "  p99 ratio (with / without): %.3f (goal: at most 1.10)\n", a / b }'
