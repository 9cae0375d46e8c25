# A PostgreSQL cluster of a test's own, sourced by the head office's test and
# benchmark: in a folder of the caller's, on a UNIX socket there only (nothing
# listens on the network), never run as root (as nobody when the caller is root).
#   cluster_init FOLDER [SETTING ...]  makes and starts it; $cluster (a libpq
#                                      connection string without dbname) reaches it
#   cluster_start / cluster_stop MODE  starts it again / stops it (fast, immediate)
#   cluster_sql DBNAME psql-arguments  runs psql as the cluster's owner, stopping at an error
pgbin=/usr/lib/postgresql/15/bin

as_pg() {
  if ((EUID == 0)); then runuser -u nobody -- "$@"; else "$@"; fi
}

cluster_init() {
  cluster_folder=$1
  shift
  cluster_settings=("$@")
  mkdir "$cluster_folder"
  chmod 711 "$(dirname "$cluster_folder")" # the cluster's user passes through to its own folder
  ((EUID != 0)) || chown nobody: "$cluster_folder"
  cluster_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  as_pg "$pgbin/initdb" -D "$cluster_folder/data" -U office -A trust -E UTF8 --locale=C.UTF-8 \
    >"$cluster_folder/initdb.log" 2>&1 || { cat "$cluster_folder/initdb.log" >&2; return 1; }
  cluster="host=$cluster_folder port=$cluster_port user=office"
  cluster_start
}

cluster_start() {
  local options="-c listen_addresses='' -c unix_socket_directories=$cluster_folder -p $cluster_port" s
  for s in "${cluster_settings[@]}"; do options+=" -c $s"; done
  as_pg "$pgbin/pg_ctl" -D "$cluster_folder/data" -l "$cluster_folder/log" -w -o "$options" start >/dev/null ||
    { cat "$cluster_folder/log" >&2; return 1; }
}

cluster_stop() {
  [ -f "${cluster_folder:-/nonexistent}/data/postmaster.pid" ] || return 0
  as_pg "$pgbin/pg_ctl" -D "$cluster_folder/data" stop -m "$1" >/dev/null
}

cluster_sql() {
  local dbname=$1
  shift
  psql "$cluster dbname=$dbname" -v ON_ERROR_STOP=1 -q -X "$@"
}
