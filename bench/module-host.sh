#!/usr/bin/env bash
# The payment module call three ways side by side, with a module that answers at
# once (bench/InstantModule.c) and module_call_bench timing the terminal's call:
#   1. VEKDLL.so in process (Linux): the baseline;
#   2. VEKDLL.dll in process in a Windows program under Wine, as vek.exe calls it;
#   3. VEKDLL.dll through the module host, as the Linux terminal calls the
#      provider's module.
# And the host's start: with no Wine server running, and with one.
#   bench/module-host.sh BUILD_BIN WINDOWS_BIN [CALLS]      (CALLS: 1000 by default)
# Runs in the Wine prefix WINEPREFIX, or in a private one made for the run.
set -euo pipefail
bin=$(cd "${1:?build/bin}" && pwd)
win=$(cd "${2:?build-windows/bin}" && pwd)
calls=${3:-1000}
work=$(mktemp -d)
own_prefix=
if [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=$(mktemp -d)
  export WINEPREFIX=$own_prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wineboot -i >/dev/null 2>&1
fi
supervisor=
cleanup() {
  [ -z "$supervisor" ] || kill "$supervisor" 2>/dev/null || true
  wait 2>/dev/null || true
  [ -z "$own_prefix" ] || { wineserver -k 2>/dev/null || true; rm -rf "$own_prefix"; }
  rm -rf "$work"
}
trap cleanup EXIT
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Starts the supervisor; ready_ms: the milliseconds until its host is ready.
start_host() {
  local started
  started=$(now_ms)
  "$bin/vek-module-host" --socket "$work/module.sock" --host "$win/vek-module-host.exe" >"$work/host.log" 2>&1 &
  supervisor=$!
  for _ in $(seq 12000); do grep -q 'the host is ready' "$work/host.log" && break; sleep 0.005; done # the supervisor's own limit, 60 s
  grep -q 'the host is ready' "$work/host.log" || { cat "$work/host.log" >&2; exit 1; }
  ready_ms=$(($(now_ms) - started))
}
stop_host() { kill "$supervisor"; wait "$supervisor" 2>/dev/null || true; supervisor=; }

wineserver -k 2>/dev/null || true
start_host
cold=$ready_ms
stop_host
wineserver -p >/dev/null 2>&1 || true # from here on the Wine server stays, as at a running counter
start_host
warm=$ready_ms
stop_host

cp "$bin/libinstant_vekdll.so" "$work/VEKDLL.so"
in_process=$(cd "$work" && "$bin/module_call_bench" "$calls")
rm "$work/VEKDLL.so"
cp "$win/libinstant_vekdll.dll" "$work/VEKDLL.dll"
cp "$win/module_call_bench.exe" "$work/"
under_wine=$(cd "$work" && wine module_call_bench.exe "$calls" | tr -d '\r')
start_host
through_host=$(cd "$work" && VEK_MODULE_SOCKET="$work/module.sock" "$bin/module_call_bench" "$calls")
stop_host

read -r _ base50 base99 <<<"$in_process"
echo "One payment module call, a module that answers at once, $calls calls each:"
printf '%-44s %10s %9s %9s %8s %8s\n' "" "first call" "p50" "p99" "p50 x" "p99 x"
row() {
  read -r first p50 p99 <<<"$2"
  printf '%-44s %7s ms %6s us %6s us %8s %8s\n' "$1" "$first" "$p50" "$p99" \
    "$(awk "BEGIN { printf \"%.1f\", $p50 / $base50 }")" "$(awk "BEGIN { printf \"%.1f\", $p99 / $base99 }")"
}
row "VEKDLL.so in process (baseline)" "$in_process"
row "VEKDLL.dll in process under Wine" "$under_wine"
row "VEKDLL.dll through the module host" "$through_host"
read -r _ wine50 wine99 <<<"$under_wine"
read -r _ host50 host99 <<<"$through_host"
echo "The host adds $((host50 - wine50)) us at p50 and $((host99 - wine99)) us at p99 to the call under Wine,"
echo "$((host50 - base50)) us at p50 and $((host99 - base99)) us at p99 to the call in process."
echo "The host is ready ${cold} ms after the supervisor starts with no Wine server running, ${warm} ms with one."
