#!/usr/bin/env bash
# Two counters' journals shipped to a head office of the test's own: a PostgreSQL 15
# cluster in a temporary folder (run by nobody when the test runs as root), TLS with
# a CA made here and a server certificate for localhost, migrated twice, two counters
# added. Each counter is the real vek with the stand-in module and the simulator on
# ports of the test's own (a redirecting module passes the calls on: vek always
# names the service's fixed port). Counter A ships while the office is down and
# comes back, ships an operation in flight before its answer, and has its shipper
# killed in the middle of a batch; then the office holds every row of both
# journals once, in its latest state, and neither counter's role can read or touch
# the other's rows; the office's page, read by headless Chromium, shows each
# counter's totals as its own `vek close` prints them.
#   bash tests/office/ShipToOffice.sh BUILD_BIN REDIRECT_MODULE
set -euo pipefail
bin=$(cd "${1:?build/bin}" && pwd)
redirect=$(realpath "${2:?the redirecting module}")
pgbin=/usr/lib/postgresql/15/bin
[ -x "$pgbin/initdb" ] || { echo "SKIPPED: no PostgreSQL 15 server (postgresql-15)" >&2; exit 77; }
for tool in gdb chromium; do
  command -v $tool >/dev/null || { echo "SKIPPED: no $tool" >&2; exit 77; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  stop_office
  rm -rf "$work"
}
trap cleanup EXIT
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
fail() {
  echo "FAIL: $*" >&2
  tail -n 20 "$work/pg/log" "$work"/*/ship.log 2>/dev/null >&2 || true
  exit 1
}
. "$here/OfficeCluster.sh"
cd "$work"
sql() { psql "$office" -XAtq -v ON_ERROR_STOP=1 -c "$1"; }

echo "-- migrations, twice"
"$bin/vek-office" migrate --db "$office" >migrate1.txt || fail "migrate ended with $?"
"$bin/vek-office" migrate --db "$office" >migrate2.txt || fail "the second migrate ended with $?"
grep -q "applied 002" migrate1.txt || fail "the first run applied: $(cat migrate1.txt)"
[ "$(cat migrate2.txt)" = "up to date" ] || fail "the second run changed something: $(cat migrate2.txt)"
[ "$(sql "SELECT count(*) FROM schema_migrations")" = 2 ] || fail "schema_migrations: $(sql "TABLE schema_migrations")"

echo "-- two counters"
"$bin/vek-office" add-counter --db "$office" SHIPA01 1234567890 >a.password || fail "add-counter A"
"$bin/vek-office" add-counter --db "$office" SHIPB01 2345678901 >b.password || fail "add-counter B"
"$bin/vek-office" add-counter --db "$office" SHIPA01 1234567890 >/dev/null 2>&1 && fail "a counter added twice"
"$bin/vek-office" add-counter --db "$office" $'SHIP\e[2J' 1234567890 >/dev/null 2>&1 && fail "a terminal ID with control bytes added"
[ "$(wc -c <a.password)" -ge 20 ] || fail "no password told for A"

paysim_port=$(free_port)
paysim_http=$(free_port)
"$bin/paysim" --db "$work/paysim.db" --port "$paysim_port" --http-port "$paysim_http" >paysim.log 2>&1 &
pids+=($!)
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/"$paysim_port") 2>/dev/null && break; sleep 0.05; done
export VEK_REDIRECT_MODULE=$bin/VEKDLL.so VEK_REDIRECT_PORT=$paysim_port

# counter NAME TERMINAL_ID BUSINESS_NUMBER: a program folder with vek, vek-ship, the
# module and the settings, and the shipper's state folder with the password file.
counter() {
  local dir=$work/$1
  mkdir -p "$dir/devices" "$dir/ship"
  cp "$bin/vek" "$bin/vek-ship" "$dir/"
  ln -s "$redirect" "$dir/VEKDLL.so"
  ln -s "$dir/paper.bin" "$dir/devices/LPT1"
  head -n1 "$work/$(echo "$1" | tr A-Z a-z).password" >"$dir/ship/password"
  chmod 600 "$dir/ship/password"
  printf '[ VEK플레노르가맹점설정 ]\r\n프린트포트=0\r\n가맹점명=본사 시험\r\n단말기ID=%s\r\n사업자번호=%s\r\n본사DB=host=localhost port=%s dbname=office user=counter_%s_%s sslrootcert=%s\r\n발송폴더=%s\r\n' \
    "$2" "$3" "$pgport" "$(echo "$2" | tr A-Z a-z)" "$3" "$work/ca.crt" "$dir/ship" | iconv -f UTF-8 -t CP949 >"$dir/VEK_Demo.ini"
}
counter A SHIPA01 1234567890
counter B SHIPB01 2345678901
# Counter B's shipper is a user of its own where the test may make one so (as root):
# nobody, passing through B's folder and reading its journal by their group only,
# never writing there, as vek-ship reads vek's journal.
as_shipper_b() { "$@"; }
if [ "$(id -u)" = 0 ]; then
  as_shipper_b() { runuser -u nobody -- "$@"; }
  chown -R nobody B/ship
  chgrp nogroup B
  chmod 710 B
fi
voucher=1000000000003
use() { (cd "$work/$1" && ./vek use "$voucher" "$2" >/dev/null) || fail "vek use $2 at $1 ended with $?"; }
ship_once() {
  if [ "$1" = B ]; then (cd "$work/B" && as_shipper_b ./vek-ship --once); else (cd "$work/$1" && ./vek-ship --once); fi \
    >>"$work/$1/ship.log" 2>&1
}
journal() { sqlite3 "$work/$1/VEK_Journal.db" "$2"; }

echo "-- the shipper refuses less than a checked server, and a password others may read"
chmod 644 A/ship/password
(cd A && ./vek-ship --once) 2>refusal.txt && fail "vek-ship took a password file others may read"
grep -q "others may read" refusal.txt || fail "no reason given: $(cat refusal.txt)"
chmod 600 A/ship/password
cp A/VEK_Demo.ini A/VEK_Demo.ini.good
iconv -f CP949 -t UTF-8 A/VEK_Demo.ini.good | sed 's/sslrootcert=/sslmode=require sslrootcert=/' | iconv -f UTF-8 -t CP949 >A/VEK_Demo.ini
(cd A && ./vek-ship --once) 2>refusal.txt && fail "vek-ship took sslmode=require"
grep -q "less than verify-full" refusal.txt || fail "no reason given: $(cat refusal.txt)"
cp A/VEK_Demo.ini.good A/VEK_Demo.ini
# A's role and password at counter B: the office holds that role for another counter.
cp B/VEK_Demo.ini B/VEK_Demo.ini.good
cp B/ship/password B/ship/password.good
iconv -f CP949 -t UTF-8 B/VEK_Demo.ini.good | sed 's/counter_shipb01_2345678901/counter_shipa01_1234567890/' | iconv -f UTF-8 -t CP949 >B/VEK_Demo.ini
cp A/ship/password B/ship/password
[ "$(id -u)" != 0 ] || chown nobody B/ship/password
use B 200
# The journal's group, as the terminal's user's own group is the shipper's; its log
# files stay (shipped, the journal keeps them), so they keep it.
[ "$(id -u)" != 0 ] || chgrp nogroup B/VEK_Journal.db B/VEK_Journal.db-wal B/VEK_Journal.db-shm
[ "$(stat -c %a B/VEK_Journal.db-shm)" = 640 ] || fail "B's journal is not readable by its group: $(ls -l B)"
(cd B && as_shipper_b ./vek-ship --once) 2>refusal.txt && fail "counter B shipped under A's role"
grep -q "holds this role for terminal SHIPA01" refusal.txt || fail "no reason given: $(cat refusal.txt)"
mv B/VEK_Demo.ini.good B/VEK_Demo.ini
mv B/ship/password.good B/ship/password
[ "$(id -u)" != 0 ] || chown nobody B/ship/password

echo "-- both counters sell and ship"
for amount in 110 120 130; do use A "$amount"; done
for amount in 210 220; do use B "$amount"; done
ship_once A || fail "A's first shipment"
ship_once B || fail "B's first shipment"
[ "$(sql "SELECT count(*) FROM operations")" = 6 ] || fail "the office holds $(sql "SELECT count(*) FROM operations") rows, not 6"

echo "-- A sells with the office down, then ships as a service"
as_pg "$pgbin/pg_ctl" -D "$work/pg/data" stop -m fast >/dev/null
for amount in 140 150; do use A "$amount"; done
(cd A && ./vek use "$voucher" 999999999 >/dev/null 2>&1) && fail "a use over the voucher's balance was accepted" # withdrawn
ship_once A && fail "vek-ship --once ended with 0 while the office was down"
grep -q "has not got all" A/ship.log || fail "no clear message: $(cat A/ship.log)"
(cd A && exec ./vek-ship) 2>>A/service.log &
service=$!
pids+=($service)
sleep 2
start_office
a_id=$(journal A "SELECT journal_id FROM identity")
b_id=$(journal B "SELECT journal_id FROM identity")
caught_up() { # NAME JOURNAL_ID
  [ "$(sql "SELECT coalesce(max(version), 0) FROM operations WHERE journal_id = '$2'")" = \
    "$(journal "$1" "SELECT max(v) FROM (SELECT max(version) AS v FROM operations UNION ALL SELECT max(version) FROM withdrawn)")" ]
}
for _ in $(seq 150); do caught_up A "$a_id" && break; sleep 0.2; done
caught_up A "$a_id" || fail "the service did not catch up after the office came back: $(cat A/service.log)"
grep -q "can't be reached" A/service.log || fail "the service did not tell the office was down: $(cat A/service.log)"
[ "$(grep -c "shipping" A/service.log)" -le 2 ] || fail "the service logs more than its state changes: $(cat A/service.log)"

echo "-- an operation shipped in flight, then answered"
# in_flight AMOUNT: vek use stopped at the module's call while the shipper ships the
# row in flight, then let go.
in_flight() {
  (cd A && gdb -batch -ex 'set breakpoint pending on' -ex 'set debuginfod enabled off' -ex 'break VEKDataProcPos' -ex run \
    -ex "shell sleep 1.5; psql '$office' -XAtq -c \"SELECT state FROM operations WHERE journal_id = '$a_id' AND total = $1\" >../inflight-$1.txt" \
    -ex delete -ex continue --args ./vek use "$voucher" "$1" >../gdb-$1.log 2>&1) || true
}
in_flight 160
[ "$(cat inflight-160.txt)" = 3 ] || fail "the office did not hold the use in flight: '$(cat inflight-160.txt)' $(cat gdb-160.log)"
in_flight 999999998 # refused by the service after it was shipped in flight
[ "$(cat inflight-999999998.txt)" = 3 ] || fail "the office did not hold the refused use in flight"
for _ in $(seq 50); do caught_up A "$a_id" && break; sleep 0.2; done
[ "$(sql "SELECT state FROM operations WHERE journal_id = '$a_id' AND total = 160")" = 1 ] || fail "the answered use is not printed at the office"
[ "$(sql "SELECT state FROM operations WHERE journal_id = '$a_id' AND total = 999999998")" = 7 ] || fail "the refused use is not withdrawn at the office"

echo "-- the shipper killed in the middle of a batch"
{ kill -9 "$service" && wait "$service"; } 2>/dev/null || true
for amount in 170 180 190; do use A "$amount"; done
# The office holds its table: the batch goes out and waits inside its transaction.
psql "$office" -XAtq -c "BEGIN; LOCK TABLE operations IN EXCLUSIVE MODE; SELECT pg_sleep(4); COMMIT" >/dev/null &
lock=$!
pids+=($lock)
sleep 0.5
(cd A && exec ./vek-ship --once) >>A/ship.log 2>&1 &
killed=$!
pids+=($killed)
for _ in $(seq 50); do
  [ "$(sql "SELECT count(*) FROM pg_stat_activity WHERE usename = 'counter_shipa01_1234567890' AND wait_event_type = 'Lock'")" = 1 ] && break
  sleep 0.1
done
[ "$(sql "SELECT count(*) FROM pg_stat_activity WHERE usename = 'counter_shipa01_1234567890' AND wait_event_type = 'Lock'")" = 1 ] ||
  fail "the batch never waited on the office's lock"
{ kill -9 "$killed" && wait "$killed"; } 2>/dev/null || true
wait "$lock" || true
[ "$(sql "SELECT count(*) FROM operations WHERE journal_id = '$a_id' AND total IN (170, 180, 190)")" = 0 ] ||
  fail "a batch killed before its commit left rows"
ship_once A || fail "the shipper after the kill: $(cat A/ship.log)"
use B 230
ship_once B || fail "B's second shipment"

echo "-- the office holds every row once, in its latest state"
# The journal's operations as they are; its withdrawals, which its retention drops
# once the office has them, all at the office as withdrawn (7), those of A's uses
# the service refused.
for c in A B; do
  id=$([ $c = A ] && echo "$a_id" || echo "$b_id")
  expected=$(journal $c "SELECT id || ' ' || version || ' ' || printed || ' ' || total || ' ' || CAST(approval AS TEXT)
                         FROM operations ORDER BY 1")
  held=$(sql "SELECT row_id || ' ' || version || ' ' || state || ' ' || total || ' ' || approval FROM operations
              WHERE journal_id = '$id' AND state <> 7 ORDER BY 1")
  [ "$expected" = "$held" ] || fail "counter $c: the office holds
$held
the journal
$expected"
  for row in $(journal $c "SELECT id || ':' || version FROM withdrawn"); do
    [ "$(sql "SELECT count(*) FROM operations WHERE journal_id = '$id' AND row_id = ${row%:*} AND version = ${row#*:} AND state = 7")" = 1 ] ||
      fail "counter $c: the office does not hold withdrawal $row"
  done
  [ "$(sql "SELECT count(*) FROM (SELECT row_id FROM operations WHERE journal_id = '$id' GROUP BY row_id HAVING count(*) > 1) AS twice")" = 0 ] ||
    fail "counter $c: a row twice at the office"
done
[ "$(sql "SELECT string_agg(total::text, ' ' ORDER BY total) FROM operations WHERE state = 7")" = "999999998 999999999" ] ||
  fail "withdrawn at the office: $(sql "SELECT journal_id, row_id, total FROM operations WHERE state = 7")"
[ "$(sql "SELECT count(*) FROM operations WHERE number_masked NOT LIKE '*********0003'")" = 0 ] || fail "a number not masked"
sql "SELECT to_regclass('operations_' || to_char(now(), 'YYYY_MM')) IS NOT NULL" | grep -qx t || fail "no partition for this month"
[ -f "A/ship/$a_id.shipped" ] || fail "no mark for the terminal's retention"

echo "-- A's role and B's rows"
as_a="host=localhost port=$pgport dbname=office user=counter_shipa01_1234567890 sslmode=verify-full sslrootcert=$work/ca.crt"
a_sql() { PGPASSWORD=$(head -n1 a.password) psql "$as_a" -XAtq -v ON_ERROR_STOP=1 -c "$1" 2>&1; }
# A state shipped again, or late, changes nothing: only a higher change number does.
row1() { sql "SELECT version, state, total, shipped_at FROM operations WHERE journal_id = '$a_id' AND row_id = 1"; }
held=$(row1)
version=$(sql "SELECT version FROM operations WHERE journal_id = '$a_id' AND row_id = 1")
for v in 1 "$version"; do
  [ "$(a_sql "SELECT ship_batch('$a_id', '[{\"row_id\": 1, \"version\": $v, \"at\": \"2026-12-09 10:00:00\", \"kind\": 1,
       \"number_masked\": \"*\", \"last4\": \"1\", \"total\": 5, \"net\": 5, \"tax\": 0, \"approval\": \"X\",
       \"original_approval\": \"\", \"state\": 3}]')")" = 0 ] || fail "change $v of row 1 was applied again"
done
[ "$(row1)" = "$held" ] || fail "row 1 changed: $held, now $(row1)"
[ "$(a_sql "SELECT count(*) FROM operations WHERE journal_id = '$b_id'")" = 0 ] || fail "A reads B's rows"
[ "$(a_sql "SELECT count(*) FROM operations")" = "$(sql "SELECT count(*) FROM operations WHERE journal_id = '$a_id'")" ] ||
  fail "A can't read its own rows"
[ "$(a_sql "SELECT count(*) FROM counters")" = 1 ] || fail "A sees other counters"
a_sql "UPDATE operations SET total = 0 WHERE journal_id = '$b_id'" >/dev/null
a_sql "DELETE FROM operations WHERE journal_id = '$b_id'" >/dev/null && fail "A may delete"
a_sql "DELETE FROM operations WHERE journal_id = '$a_id'" >/dev/null && fail "A may delete its own rows"
a_sql "INSERT INTO operations (journal_id, row_id, month, version, at, kind, number_masked, last4, total, net, tax,
       approval, original_approval, state) VALUES ('$b_id', 999, date_trunc('month', now()), 1, now(), 1, '*', '1', 1, 1, 0,
       'X', '', 1)" >/dev/null && fail "A may insert into B's journal"
a_sql "SELECT ship_batch('$b_id', '[{\"row_id\": 1, \"version\": 999, \"at\": \"2026-12-09 10:00:00\", \"kind\": 1,
       \"number_masked\": \"*\", \"last4\": \"1\", \"total\": 1, \"net\": 1, \"tax\": 0, \"approval\": \"X\",
       \"original_approval\": \"\", \"state\": 1}]')" >/dev/null && fail "A may ship into B's journal"
a_sql "SELECT * FROM operations_$(date +%Y_%m) LIMIT 1" >/dev/null && fail "A may read a month's partition"
a_sql "CREATE TABLE operations_2001_01 PARTITION OF operations FOR VALUES FROM ('2001-01-01') TO ('2001-02-01')" >/dev/null &&
  fail "A may create tables"
[ "$(sql "SELECT count(*) FROM operations WHERE journal_id = '$b_id' AND (total = 0 OR row_id = 999 OR version = 999)")" = 0 ] ||
  fail "A changed B's rows"
a_sql "SELECT operations_month('9999-01-01')" >/dev/null && fail "A may make a partition for any month"
# A use in flight before midnight at a month's end and answered after it: the new
# month's, where the page of its day reads it, and held once.
late=$(cat /proc/sys/kernel/random/uuid)
for state in "1 2026-01-31 23:59:59 3" "2 2026-02-01 00:00:02 1"; do
  read -r v d t s <<<"$state"
  a_sql "SELECT ship_batch('$late', '[{\"row_id\": 1, \"version\": $v, \"at\": \"$d $t\", \"kind\": 1,
         \"number_masked\": \"*\", \"last4\": \"1\", \"total\": 5, \"net\": 5, \"tax\": 0, \"approval\": \"X\",
         \"original_approval\": \"\", \"state\": $s}]')" >/dev/null || fail "A's late answer: $(a_sql "SELECT 1")"
done
[ "$(sql "SELECT string_agg(tableoid::regclass || ' ' || state, ',') FROM operations WHERE journal_id = '$late'")" = \
  "operations_2026_02 1" ] || fail "the late answer: $(sql "SELECT tableoid::regclass, * FROM operations WHERE journal_id = '$late'")"
PGPASSWORD=$(head -n1 a.password) psql "host=localhost port=$pgport dbname=office user=counter_shipa01_1234567890 sslmode=disable" \
  -XAtq -c "SELECT 1" >/dev/null 2>&1 && fail "the office took a connection without TLS"
echo "-- the office's page against each counter's closing"
"$bin/vek-office" serve --db "$office" --port 0 >serve.log 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q '^vek-office: serving' serve.log && break; sleep 0.05; done
url=$(sed -n 's/^vek-office: serving \(http:[^ ]*\)$/\1/p' serve.log)
[ -n "$url" ] || fail "vek-office serve: $(cat serve.log)"
chromium --headless --disable-gpu --no-sandbox --no-first-run --user-data-dir="$work/chromium" \
  --dump-dom "$url?date=$(date +%F)" >page.html 2>chromium.log || fail "chromium: $(tail -n 5 chromium.log)"
for c in A B; do (cd $c && ./vek close >"../$c.closing.txt") || fail "vek close at $c ended with $?"; done
python3 "$here/PageTotals.py" page.html SHIPA01/1234567890=A.closing.txt \
  SHIPB01/2345678901=B.closing.txt || fail "the page's totals are not the counters' closings (above)"

echo "-- a journal put back from a copy ships nothing, and moves no mark"
sqlite3 A/VEK_Journal.db ".backup copy.db"
use A 300
ship_once A || fail "A's shipment after the copy"
mark=$(cat A/ship/"$a_id".shipped)
sqlite3 A/VEK_Journal.db ".restore copy.db"
ship_once A && fail "a journal put back from a copy shipped"
grep -q "put back from a copy" A/ship.log || fail "no reason given: $(tail -n 3 A/ship.log)"
[ "$(cat A/ship/"$a_id".shipped)" = "$mark" ] || fail "the mark moved: $mark, now $(cat A/ship/"$a_id".shipped)"
echo "1 passed, 0 failed"
