#!/usr/bin/env bash
# The head office's database under a chain's days: for each number of counters, a
# fresh database on a cluster of its own, migrated, every counter's DAYS days of
# OPERATIONS operations shipped in the shipper's batches through the office's
# ship_batch (office-chain-bench: rows per second), the page of
# the last day built in process (median of 3) and served by vek-office (curl's
# time for the whole answer), and what the month's partition takes on disk.
#   DAYS=1 bash bench/office-chain.sh [OPERATIONS [COUNTERS ...]]   (default 500 and 100 300 1000)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$here/../build/bin" && pwd)
operations=${1:-500}
shift || true
sizes=("$@")
((${#sizes[@]})) || sizes=(100 300 1000)
for program in office-chain-bench vek-office; do
  [ -x "$bin/$program" ] || { echo "build first: $bin/$program is missing" >&2; exit 1; }
done
. "$here/../tests/office/TestCluster.sh"
work=$(mktemp -d)
server=
trap '[ -z "$server" ] || kill "$server" 2>/dev/null; cluster_stop immediate || true; rm -rf "$work"' EXIT
days=${DAYS:-1}
day=2026-12-$(printf %02d "$days")
# A small server's settings, durable as in production (fsync on).
cluster_init "$work/pg" shared_buffers=256MB work_mem=32MB max_wal_size=2GB
for counters in "${sizes[@]}"; do
  PGOPTIONS="-c client_min_messages=warning" cluster_sql postgres -c "DROP DATABASE IF EXISTS office" -c "CREATE DATABASE office"
  "$bin/vek-office" migrate --db "$cluster dbname=office" >/dev/null
  echo "== $counters counters x $operations operations x $days days"
  "$bin/office-chain-bench" "$cluster dbname=office" 2026-12-01 "$counters" "$operations" 2 3 "$days"
  "$bin/vek-office" serve --db "$cluster dbname=office" --port 0 >"$work/serve.log" 2>&1 &
  server=$!
  for _ in $(seq 100); do grep -q '^vek-office: serving' "$work/serve.log" && break; sleep 0.05; done
  url=$(sed -n 's/^vek-office: serving \(http:[^ ]*\)$/\1/p' "$work/serve.log")
  curl -sf -o /dev/null -w "served page: %{http_code}, %{size_download} bytes in %{time_total} s\n" "$url?date=$day"
  curl -sf -o /dev/null -w "served CSV: %{http_code}, %{size_download} bytes in %{time_total} s\n" "${url}operations.csv?date=$day"
  curl -sf -o /dev/null -w "search by last four: %{http_code} in %{time_total} s\n" "$url?date=$day&q=0042"
  kill "$server"
  wait "$server" 2>/dev/null || true
  server=
  cluster_sql office -At -c "SELECT 'on disk: ' || pg_size_pretty(pg_total_relation_size('operations_2026_12'))"
done
