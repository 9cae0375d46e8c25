#!/usr/bin/env bash
# Times the real program: from its start to the voucher screen mapped on the display
# (the cursor is put in the voucher number field as the window is first shown), and
# its resident memory then; then the same memory after the web page screen was
# opened. Runs on a virtual display: xvfb-run -a bash bench/startup.sh [RUNS]
set -euo pipefail
bin=$(cd "$(dirname "$0")/../build/bin" && pwd)
runs=${1:-10}
# A program folder of its own: the settings print on the printer port into a file,
# so nothing at start-up depends on a device of this machine.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$bin/AP_VEK" "$work/"
ln -s "$bin/vek-webview" "$work/vek-webview"
mkdir "$work/devices"
ln -s "$work/paper.bin" "$work/devices/LPT1"
printf '[ VEK플레노르가맹점설정 ]\r\n프린트포트=0\r\n단말기ID=BENCH\r\n' | iconv -f UTF-8 -t CP949 >"$work/VEK_Demo.ini"
cd "$work"
export QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu"

rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
tree_rss_kb() {  # the program and the browser processes it started
  local total=0 pid
  for pid in $1 $(pgrep -x vek-webview || true) $(pgrep -f QtWebEngineProcess || true); do
    total=$((total + $(rss_kb "$pid" 2>/dev/null || echo 0)))
  done
  echo "$total"
}

times=()
for ((i = 0; i < runs; i++)); do
  start=$(date +%s%N)
  ./AP_VEK &
  pid=$!
  until xdotool search --onlyvisible --name '^AP_VEK$' >/dev/null 2>&1; do sleep 0.002; done
  [ "$(xdotool getwindowgeometry "$(xdotool search --onlyvisible --name '^AP_VEK$' | head -1)" | awk '/Geometry/ {print $2}')" = 1024x768 ] ||
    { echo "the first window shown is not the terminal's (a message box?)" >&2; exit 1; }
  end=$(date +%s%N)
  times+=($(((end - start) / 1000000)))
  if ((i == runs - 1)); then
    sleep 0.5
    before=$(rss_kb "$pid")
    xdotool mousemove 650 50 click 1
    sleep 5
    after=$(tree_rss_kb "$pid")
    after_own=$(rss_kb "$pid")
  fi
  kill "$pid"
  wait "$pid" 2>/dev/null || true
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
echo "start-up to voucher screen (ms), $runs runs: median $(echo "$sorted" | sed -n "$(((runs + 1) / 2))p"), min $(echo "$sorted" | head -1), max $(echo "$sorted" | tail -1)"
echo "resident memory on the voucher screen: $((before / 1024)) MB"
echo "after the web page screen was opened: $((after_own / 1024)) MB in the program, $((after / 1024)) MB with the browser processes"
