#!/usr/bin/env bash
# The terminal's start-up against its floor, an empty frameless 1024x768 Qt window
# (empty-window), on the same display in the same run: each round starts both, in
# turns that alternate which goes first, and startup-probe times each from its
# exec to its window mapped and reads its resident memory once it has settled.
# Prints both medians and the ratios; then the memory after the web page screen
# was opened. Runs on a virtual display:
#   xvfb-run -a -s '-screen 0 1024x768x24' bash bench/startup.sh [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$here/../build/bin" && pwd)
runs=${1:-15}
for program in AP_VEK empty-window startup-probe vek-webview; do
  [ -x "$bin/$program" ] || { echo "build first: $bin/$program is missing" >&2; exit 1; }
done
# A program folder of its own: the settings print on the printer port into a file,
# so nothing at start-up depends on a device of this machine.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$bin/AP_VEK" "$work/"
ln -s "$bin/vek-webview" "$work/vek-webview"
mkdir "$work/devices" "$work/runtime"
chmod 700 "$work/runtime"
ln -s "$work/paper.bin" "$work/devices/LPT1"
printf '[ VEK플레노르가맹점설정 ]\r\n프린트포트=0\r\n단말기ID=BENCH\r\n사업자번호=1234567890\r\n' | iconv -f UTF-8 -t CP949 >"$work/VEK_Demo.ini"
cd "$work"
export XDG_RUNTIME_DIR=$work/runtime QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu"

"$bin/startup-probe" --hold & # the display stays as it is between runs
hold=$!
trap 'kill "$hold"; rm -rf "$work"' EXIT
sleep 0.2
probe=$bin/startup-probe
terminal_command=("$work/AP_VEK")
floor_command=("$bin/empty-window")
. "$here/startup-rounds.sh"
startup_rounds "$runs" 1.2

# The web page screen starts its browser processes: their memory, once.
rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
tree() { # the process and every process it started, and theirs
  local child
  echo "$1"
  for child in $(ps -o pid= --ppid "$1" || true); do tree "$child"; done
}
./AP_VEK 2>"$work/browser.log" &
pid=$!
for _ in $(seq 2000); do xdotool search --onlyvisible --name '^AP_VEK$' >/dev/null 2>&1 && break; sleep 0.01; done
sleep 1
xdotool mousemove 650 50 click 1
sleep 5
processes=$(tree "$pid")
total=0
for p in $processes; do total=$((total + $(rss_kb "$p"))); done
after_own=$(rss_kb "$pid")
kill "$pid"
wait "$pid" 2>/dev/null || true
# The browser ends at the end of its input; it is let go before the display goes.
for _ in $(seq 100); do
  alive=0
  for p in $processes; do kill -0 "$p" 2>/dev/null && alive=1; done
  ((alive)) || break
  sleep 0.05
done
echo "  after the web page screen was opened: $((after_own / 1024)) MB in AP_VEK, $((total / 1024)) MB with the browser processes"
