# A head office of a test's own, sourced by tests/office/ShipToOffice.sh and
# bench/ship-bench.sh: a CA and a server certificate for localhost, a PostgreSQL 15
# cluster in $work/pg on a free port that takes connections over the network only
# with TLS and a password (its own role, `office`, by its socket), the database
# `office`. Needs $work (a fresh folder) and $pgbin. Sets $pgport and $office (the
# office's own connection string) and the functions as_pg, free_port,
# start_office and stop_office (immediate: for clean-up).

stop_office() {
  [ ! -f "$work/pg/data/postmaster.pid" ] || as_pg "$pgbin/pg_ctl" -D "$work/pg/data" stop -m immediate >/dev/null 2>&1 || true
}
# PostgreSQL refuses to run as root.
if [ "$(id -u)" = 0 ]; then
  as_pg() { runuser -u nobody -- "$@"; }
  chmod 711 "$work"
else
  as_pg() { "$@"; }
fi
free_port() {
  python3 -c 'import socket
while True:
    s = socket.socket(); s.bind(("127.0.0.1", 0)); p = s.getsockname()[1]; s.close()
    if p not in (19976, 19980): print(p); break'
}

mkdir -p "$work/pg/sock"
(
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -subj /CN=office-test-ca -days 2 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout pg/server.key -out server.csr -subj /CN=localhost 2>/dev/null
openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out pg/server.crt -days 2 \
  -extfile <(printf 'subjectAltName=DNS:localhost\n') 2>/dev/null
chmod 600 pg/server.key
)
[ "$(id -u)" != 0 ] || chown -R nobody "$work/pg"
pgport=$(free_port)
as_pg "$pgbin/initdb" -D "$work/pg/data" -A trust -U office --auth-host=scram-sha-256 >/dev/null
cat >>"$work/pg/data/postgresql.conf" <<CONF
port = $pgport
listen_addresses = 'localhost'
unix_socket_directories = '$work/pg/sock'
ssl = on
ssl_cert_file = '$work/pg/server.crt'
ssl_key_file = '$work/pg/server.key'
password_encryption = 'scram-sha-256'
CONF
# Over the network only with TLS and a password; the office's own role by the socket.
printf 'local all office trust\nhostssl all all 127.0.0.1/32 scram-sha-256\nhostssl all all ::1/128 scram-sha-256\n' \
  >"$work/pg/data/pg_hba.conf"
# $office_nice: the cluster's niceness (the benchmark's office stands in for another machine).
start_office() { as_pg nice -n "${office_nice:-0}" "$pgbin/pg_ctl" -D "$work/pg/data" -l "$work/pg/log" -w start >/dev/null; }
start_office
# Should this shell be killed outright (a test's time limit), the cluster, which runs
# in a session of its own, goes too: a watcher in another session waits for it.
setsid -f bash -c 'while kill -0 "$1" 2>/dev/null; do sleep 1; done
  if [ -f "$3/postmaster.pid" ]; then '"$(declare -f as_pg)"'; as_pg "$2/pg_ctl" -D "$3" stop -m immediate; rm -rf "$4"; fi' \
  office-watch $$ "$pgbin" "$work/pg/data" "$work" >/dev/null 2>&1
office="host=$work/pg/sock port=$pgport user=office dbname=office"
as_pg "$pgbin/createdb" -h "$work/pg/sock" -p "$pgport" -U office office
