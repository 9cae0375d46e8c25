#!/usr/bin/env bash
# The window AP_VEK.exe under Wine, its web page screen with the system's web
# browser control where Wine has no HTML engine (WINEDLLOVERRIDES disables it, as
# the other Wine runs do): pressing REPORT must bring no dialog and no fault, the
# page must say in itself that it can't show the web page, and the other screens
# must stay usable, also after pressing REPORT again and again. Nothing needs to
# serve 127.0.0.1:19980: without the engine no page is shown either way. Leaves
# the screenshots and Wine's output in OUT (default build-web-page/).
#   tests/windows/WebPageEndToEnd.sh QT_FOR_WINDOWS AP_VEK.exe [OUT]
set -euo pipefail
qt=$(realpath "${1:?Qt for Windows (scripts/qt-windows.sh)}")
program=$(realpath "${2:?AP_VEK.exe}")
cd "$(dirname "$0")/../.."
out=$(realpath -m "${3:-build-web-page}")
app=$out/app

rm -rf "$app"
mkdir -p "$out"
bash packaging/windows/app-folder.sh "$qt" "$app" "$program"
printf '[ VEK플레노르가맹점설정 ]\r\n프린트포트=0\r\n단말기ID=E2E01\r\n사업자번호=1234567890\r\n' |
  iconv -f UTF-8 -t CP949 >"$app/VEK_Demo.ini"

export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d)
display=60
while [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
export DISPLAY=:$display
xvfb=
program_pid=
cleanup() {
  [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
Xvfb "$DISPLAY" -screen 0 1024x768x24 -noreset >"$out/xvfb.log" 2>&1 &
xvfb=$!
# Wine's background processes keep the pipes they inherit open: output to files.
wineserver -p >"$out/wineserver.log" 2>&1
wineboot -i >"$out/wineboot.log" 2>&1

fail() {
  echo "WebPageEndToEnd.sh: $*; screenshots and Wine's output in $out" >&2
  exit 1
}
shots=0
png=
shot() {
  shots=$((shots + 1))
  png=$out/screen-$shots.png
  import -window root "$png"
}
# The share of dark pixels in a rectangle of a screenshot (text, the keypad's panel).
dark() {  # FILE WIDTH HEIGHT X Y
  convert "$1" -crop "$2x$3+$4+$5" +repage -colorspace Gray -threshold 40% -format '%[fx:1-mean]' info:
}
alive() {
  kill -0 "$program_pid" 2>/dev/null || fail "the window ended"
  # An unhandled fault starts Wine's debugger, which reports on the program's output.
  ! grep -q 'Unhandled exception\|winedbg' "$out/AP_VEK.out" "$out/AP_VEK.err" || fail "the window faulted"
}
click() { xdotool mousemove "$1" "$2" click 1; }
# The page's notice lies in the middle of the page; before it shows the control
# fills the page (white) while it tries.
notice_shown() {
  for _ in $(seq 30); do
    shot
    if awk -v d="$(dark "$png" 1000 40 12 403)" 'BEGIN { exit !(d > 0.005) }'; then return 0; fi
    sleep 1
  done
  return 1
}
# The voucher screen's keypad sits on a dark panel.
voucher_screen_shown() {
  for _ in $(seq 10); do
    shot
    if awk -v d="$(dark "$png" 20 20 560 240)" 'BEGIN { exit !(d > 0.9) }'; then return 0; fi
    sleep 0.5
  done
  return 1
}

(cd "$app" && exec wine AP_VEK.exe >"$out/AP_VEK.out" 2>"$out/AP_VEK.err") &
program_pid=$!
xdotool search --sync --onlyvisible --name '^AP_VEK$' >/dev/null &
watcher=$!
for _ in $(seq 900); do
  kill -0 $watcher 2>/dev/null || break
  sleep 0.1
done
if kill -0 $watcher 2>/dev/null; then
  kill $watcher
  fail "no window within 90 s"
fi
sleep 2  # painted
voucher_screen_shown || fail "the voucher screen is not shown at start"

click 655 50  # REPORT
notice_shown || fail "the web page screen does not say that it can't show the page"
alive
click 128 50  # the voucher screen: no dialog holds the window
voucher_screen_shown || fail "the voucher screen does not come back after the web page screen"

# Pressed again and again, with the other screens between: each time the control
# is made afresh and taken away again.
for _ in 1 2 3; do
  click 655 50
  sleep 0.3
  click 390 50
  sleep 0.3
  click 655 50
  sleep 0.3
done
notice_shown || fail "the web page screen does not say it again"
alive
click 128 50
voucher_screen_shown || fail "the voucher screen does not come back at the end"
alive
echo "WebPageEndToEnd.sh: the web page screen says it can't show the page; the window stays usable"
