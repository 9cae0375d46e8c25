#!/usr/bin/env bash
# The terminal's start-up against its floor, an empty frameless 1024x768 Qt window
# (empty-window), on the same display in the same run: each round starts both, in
# turns that alternate which goes first, and startup-probe times each from its
# exec to its window mapped and reads its resident memory once it has settled.
# Prints both medians and the ratios; then the memory after the web page screen
# was opened. Runs on a virtual display:
#   xvfb-run -a -s '-screen 0 1024x768x24' bash bench/startup.sh [RUNS]
set -euo pipefail
bin=$(cd "$(dirname "$0")/../build/bin" && pwd)
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
probe() { "$bin/startup-probe" "$1" 2>"$work/probe.err" || { cat "$work/probe.err" >&2; exit 1; }; }
floor_us=() floor_kb=() terminal_us=() terminal_kb=()
measure() { # ROUND: both programs once, the first of them alternating
  local order=(empty-window AP_VEK) program out us kb
  (($1 % 2)) && order=(AP_VEK empty-window)
  for program in "${order[@]}"; do
    if [ "$program" = AP_VEK ]; then
      out=$(probe "$work/AP_VEK")
      read -r us kb <<<"$out"
      terminal_us+=("$us") terminal_kb+=("$kb")
    else
      out=$(probe "$bin/empty-window")
      read -r us kb <<<"$out"
      floor_us+=("$us") floor_kb+=("$kb")
    fi
  done
}
measure 0 && floor_us=() floor_kb=() terminal_us=() terminal_kb=() # a round to warm the caches, not counted
for ((i = 0; i < runs; i++)); do measure "$i"; done

median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
spread() { # the middle half of the rounds' own ratios: how much the machine disturbed them
  local i
  for ((i = 0; i < runs; i++)); do ratio "${terminal[i]}" "${floor[i]}"; echo; done |
    sort -n | awk '{v[NR] = $1} END {printf "%.2f-%.2f", v[int((NR + 3) / 4)], v[int((3 * NR + 3) / 4)]}'
}
report() { # WHAT UNIT DIVISOR: the medians, their ratio and the spread of the rounds
  local t=$(median "${terminal[@]}") f=$(median "${floor[@]}")
  printf '  %-46s AP_VEK %6.1f %s, empty window %6.1f %s: ratio %sx (goal 1.2x; rounds %s)\n' "$1" \
    "$(ratio "$t" "$3")" "$2" "$(ratio "$f" "$3")" "$2" "$(ratio "$t" "$f")" "$(spread)"
}
echo "start-up, $runs runs of each interleaved on this display"
terminal=("${terminal_us[@]}") floor=("${floor_us[@]}")
report "time from exec to the 1024x768 window mapped:" ms 1000
terminal=("${terminal_kb[@]}") floor=("${floor_kb[@]}")
report "resident memory once settled:" MB 1024

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
