#!/usr/bin/env bash
# The head office's page in a real browser: a PostgreSQL cluster of the test's own
# (as a user other than root), the schema, two counters' journals made through the
# journal and shipped into it as rows, vek-office serving them, and headless
# Chromium reading the page: each counter's totals must be what `vek close` prints
# for its journal. Then the search (by approval number, by the last four digits),
# the CSV export, a bad date and a hostile query (400), a hostile text from a
# counter (escaped), and the database stopped (503) and started again (served).
#   bash tests/office/OfficePage.sh BUILD_BIN MIGRATIONS_FOLDER
set -euo pipefail
bin=$(cd "${1:?build/bin}" && pwd)
migrations=$(cd "${2:?office/migrations}" && pwd)
day=2026-12-01
for tool in /usr/lib/postgresql/15/bin/initdb psql chromium curl python3; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: no $tool" >&2; exit 77; }
done

. "$(dirname "$0")/TestCluster.sh"
work=$(mktemp -d)
server=
cleanup() {
  [ -z "$server" ] || kill "$server" 2>/dev/null || true
  [ -z "$server" ] || wait "$server" 2>/dev/null || true
  cluster_stop immediate || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ ! -f "$work/serve.log" ] || sed 's/^/  serve: /' "$work/serve.log" >&2
  exit 1
}

cluster_init "$work/pg" fsync=off || fail "the cluster didn't start"
cluster_sql postgres -c "CREATE DATABASE office"
db="$cluster dbname=office"
sql() { cluster_sql office "$@"; }
sql -f "$migrations/001_chain.sql"
sql -c "CREATE TABLE operations_2026_11 PARTITION OF operations FOR VALUES FROM ('2026-11-01') TO ('2026-12-01')" \
  -c "CREATE TABLE operations_2026_12 PARTITION OF operations FOR VALUES FROM ('2026-12-01') TO ('2027-01-01')"

# Two counters' journals (the second's made anew that day), their rows shipped, and
# each journal's closing as the counter prints it.
mkdir "$work/journals"
"$bin/office-chain-journals" "$work/journals" "$day" >"$work/rows.sql"
sql -f "$work/rows.sql"
for journal in counter1:1234567890 counter2-old:2208112345 counter2:2208112345; do
  name=${journal%%:*}
  mkdir -p "$work/$name/devices"
  cp "$bin/vek" "$work/$name/"
  ln -s "$work/$name/paper.bin" "$work/$name/devices/LPT1"
  printf '[ VEK플레노르가맹점설정 ]\r\n프린트포트=0\r\n가맹점명=플레노르 카페\r\n단말기ID=PAGE01\r\n사업자번호=%s\r\n저널파일=%s\r\n' \
    "${journal#*:}" "$work/journals/$name.db" | iconv -f UTF-8 -t CP949 >"$work/$name/VEK_Demo.ini"
  (cd "$work/$name" && ./vek close "${day//-/}" >"$work/$name.txt") || fail "vek close of $name: $?"
done

"$bin/vek-office" serve --db "$db" --port 0 >"$work/serve.log" 2>&1 &
server=$!
for _ in $(seq 100); do grep -q '^vek-office: serving' "$work/serve.log" && break; sleep 0.05; done
url=$(sed -n 's/^vek-office: serving \(http:[^ ]*\)$/\1/p' "$work/serve.log")
[ -n "$url" ] || fail "vek-office serve never said where it serves"
case "$url" in http://127.0.0.1:*) ;; *) fail "served at $url, not on the loopback by default" ;; esac

# The page as the browser builds it.
browse() { # NAME PATH_AND_QUERY
  chromium --headless --disable-gpu --no-sandbox --no-first-run --user-data-dir="$work/chromium" \
    --dump-dom "$url$2" >"$work/$1.html" 2>"$work/chromium.log" || { cat "$work/chromium.log" >&2; fail "chromium on $2"; }
}
status() { curl -s -o "$work/body" -w "%{http_code}" "${url%/}$1"; }
browse page "?date=$day"
browse approval "?date=$day&q=A0000004"
browse last4 "?date=$day&q=4321"
browse hostile "?date=$day&q=%3Cscript%3Ealert(%22x%22)%3C%2Fscript%3E%26amp%3B"
browse before "?date=2026-11-30"
browse baddate "?date=2026-02-30"
curl -s -D "$work/csv.headers" -o "$work/operations.csv" "${url}operations.csv?date=$day"
sql -At -c "SELECT count(*) FROM operations WHERE at >= '$day' AND at < date '$day' + 1" >"$work/rows.count"

for check in "400 ?date=2026-13-01" "400 ?date=$day%00" "400 ?q=$(printf '1%.0s' $(seq 65))" "400 ?q=A%0D%0A1" \
  "400 ?q=%C0%AF" "400 /operations.csv?date=2026-1-1" "404 /nothing" "200 ?q=+A0000004+"; do
  expect=${check%% *} path=${check#* }
  [ "${path:0:1}" = / ] || path=/$path
  got=$(status "$path")
  [ "$got" = "$expect" ] || fail "$path answered $got, not $expect: $(head -c 400 "$work/body")"
done

python3 - "$work" "$day" "$(dirname "$0")" <<'PY' || fail "the page and the counters' closings differ (above)"
import csv, io, sys
work, day = sys.argv[1], sys.argv[2]
sys.path.insert(0, sys.argv[3])
from PageTotals import Page, closing, compare, together
errors = []
def check(ok, what):
    if not ok:
        errors.append(what)

def load(name):
    return Page(open(f"{work}/{name}.html", encoding="utf-8").read())

page = load("page")
shops = {"1234567890": ("PAGE01", closing(f"{work}/counter1.txt")),
         "2208112345": ("PAGE01", together(closing(f"{work}/counter2-old.txt"), closing(f"{work}/counter2.txt")))}
errors += compare(page, shops)
for table, key in (("owed", "owed-count"), ("unknown", "unknown-count")):
    listed = len(page.rows(table))
    counted = sum(int(c[key]) for _, c in shops.values())
    check(listed == counted, f"{listed} rows listed as {table}, the closings count {counted}")
check(all(r.get("text number", "").startswith("*") for r in page.rows("owed") + page.rows("unknown")),
      "a number not masked")
check(page.scripts == 0, "a script element in the page")

found = load("approval").rows("found")
check(len(found) == 1 and found[0].get("text approval") == "A0000004" and found[0].get("amount") == "120,000"
      and found[0].get("text state") == "인쇄 실패" and found[0].get("text business") == "1234567890",
      f"search by approval: {found}")
found = load("last4").rows("found")
check(len(found) == 2 and all(r.get("text number", "").endswith("4321") for r in found)
      and {r.get("text business") for r in found} == set(shops), f"search by the last four: {found}")
hostile = load("hostile")
found = hostile.rows("found")
check(len(found) == 1 and found[0].get("text approval") == '<script>alert("x")</script>&amp;',
      f"search for the hostile approval: {found}")
check(hostile.scripts == 0, "the hostile approval became a script element")
before = load("before").rows("totals")
check(any(r.get("voucher-use-amount") == "9,999" for r in before if r.get("@class") == "counter"),
      f"the day before (the month before's partition): {before}")
bad = load("baddate")
check("잘못된 날짜" in bad.text() and not bad.rows("totals"), "a bad date's page: " + bad.text()[:200])

raw = open(f"{work}/operations.csv", "rb").read()
check(raw.startswith(b"\xef\xbb\xbf"), "the CSV has no byte order mark")
rows = list(csv.reader(io.StringIO(raw.decode("utf-8-sig"), newline="")))
count = int(open(f"{work}/rows.count").read())
check(len(rows) == count + 1, f"{len(rows) - 1} operations in the CSV, {count} in the database")
check(rows[0][:3] == ["일시", "사업자번호", "단말기ID"], f"the CSV's heading: {rows[0]}")
check(all(r[0].startswith(day) for r in rows[1:]), "an operation of another day in the CSV")
check(sum(r[10] == "철회됨" for r in rows[1:]) == 1, "the withdrawn operation isn't in the CSV as such")
check(['\'=HYPERLINK("http://x","y")'] == [r[8] for r in rows[1:] if "HYPERLINK" in r[8]], "the formula approval")
check(['<script>alert("x")</script>&amp;'] == [r[8] for r in rows[1:] if "script" in r[8]], "the hostile approval")
headers = open(f"{work}/csv.headers", encoding="latin-1").read().lower()
check("content-type: text/csv; charset=utf-8" in headers and f'filename="operations-{day}.csv"' in headers,
      "the CSV's headers: " + headers)
for e in errors:
    print("  " + e, file=sys.stderr)
sys.exit(1 if errors else 0)
PY

# The database stopped: the page says so; started again: the page is back.
cluster_stop fast
got=$(status "/?date=$day")
[ "$got" = 503 ] && grep -q '데이터베이스에 연결할 수 없습니다' "$work/body" || fail "with the database stopped: $got"
kill -0 "$server" || fail "vek-office ended with the database away"
cluster_start
got=$(status "/?date=$day")
[ "$got" = 200 ] && grep -q 'class="counter"' "$work/body" || fail "with the database back: $got"
# Restarted at once under the connection the page holds: the next request is served.
cluster_stop immediate
cluster_start
got=$(status "/?date=$day")
[ "$got" = 200 ] || fail "after the database restarted under the page: $got"
echo "The page, its search, its export and its refusals agree with the counters' closings"
