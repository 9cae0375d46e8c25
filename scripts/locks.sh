# Sourced. Locks (flock) that make two runs of these scripts at the same time wait
# for each other where they change the machine or share a cache. A lock ends with
# the last process holding it, also when it is killed: nothing to clean up.
#   hold_lock FILE WHAT [-s]   FILE's lock, exclusive (or shared with -s), for the
#                              rest of this shell; says what it waits for, if it must
#   apt_locked COMMAND...      COMMAND (apt-get, dpkg) holding the lock of the
#                              machine's packages: apt's own lock makes a second
#                              apt-get fail at once, where this one waits its turn
#   use_i386_emulation         32-bit programs run from here on (an emulator where
#                              the kernel runs none), until release_i386_emulation
#                              (from an EXIT trap): see scripts/i386-emulation.sh
# Taken in this order only, so no two runs wait for each other round: the package
# test's, a cache's (Qt, libjpeg), the emulator's registration, apt's.
# Root's own folder: in /run/lock, which anyone may write, another user could hold
# the locks for ever or plant links where root then makes files.
lock_dir=/run/vek-terminal-tests
[ ! -L "$lock_dir" ] || { echo "locks.sh: $lock_dir is a link" >&2; exit 1; }
install -d -o root -g root -m 0755 "$lock_dir"
scripts_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Held by a process of its own, which ends with this shell: nothing the run starts
# inherits the lock, so a service or a Wine process it leaves behind can't keep
# the next run waiting for ever.
hold_lock() {
  local file=$1 what=$2 mode=${3:--x} fd
  exec {fd}>>"$file"
  if ! flock "$mode" -n "$fd"; then
    echo "Waiting for $what to end (lock $file)" >&2
    flock "$mode" "$fd"
  fi
  : "$(hold_until_exit "$fd")"
  exec {fd}>&-
}
# Keeps descriptor FD open in a process that ends when this shell does, and prints
# its number. Not a job of this shell: a script's plain "wait" would wait for it
# for ever.
hold_until_exit() {
  local fd=$1
  (while kill -0 $$ 2>/dev/null; do sleep 1 {fd}>&-; done) >/dev/null 2>&1 &
  echo $!
}

# The command gets no descriptor of the lock (-o): a service a package starts
# would hold it for ever.
apt_locked() {
  flock -n -o "$lock_dir/apt.lock" true || echo "Waiting for another run's apt-get to end" >&2
  flock -o "$lock_dir/apt.lock" "$@"
}

# Each run holds the emulator's users' lock shared for as long as it runs 32-bit
# programs; the entry is removed only by the run that then can take it exclusively,
# the last one.
use_i386_emulation() {
  local users
  exec {users}>>"$lock_dir/i386-emulation.users"
  bash "$scripts_dir/i386-emulation.sh" --use "$users"
  i386_holder=$(hold_until_exit "$users")
  exec {users}>&-
}
release_i386_emulation() {
  [ -n "${i386_holder:-}" ] || return 0
  kill "$i386_holder" 2>/dev/null || true
  while kill -0 "$i386_holder" 2>/dev/null; do sleep 0.1; done
  i386_holder=
  bash "$scripts_dir/i386-emulation.sh" --release || true
}
