#!/usr/bin/env bash
# AP_VEK.exe's start-up under Wine against its floor, an empty frameless 1024x768
# window built with the same Qt for Windows (empty-window.exe), in one Wine prefix on
# the same display in the same run (bench/startup-rounds.sh): the time from exec to
# the window mapped and the resident memory of the Wine process that shows it, as
# ratios (goal 1.3x). Both programs lie in one program folder with Qt's DLLs, as
# installed, with settings that print on LPT1 (a file). Runs on a display of its own:
#   xvfb-run -a -s '-screen 0 1024x768x24' bash bench/windows-startup.sh APP_FOLDER EMPTY_WINDOW_EXE [RUNS]
# APP_FOLDER holds AP_VEK.exe and its DLLs (packaging/windows/app-folder.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
app=$(cd "${1:?the program folder}" && pwd)
empty=$(realpath "${2:?empty-window.exe}")
runs=${3:-9}
probe=$here/../build/bin/startup-probe
[ -x "$probe" ] || { echo "build first: $probe is missing" >&2; exit 1; }
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
cp -r "$app" "$work/app"
cp "$empty" "$work/app/"
printf '[ VEK플레노르가맹점설정 ]\r\n프린트포트=0\r\n단말기ID=BENCH\r\n사업자번호=1234567890\r\n' | iconv -f UTF-8 -t CP949 >"$work/app/VEK_Demo.ini"
mkdir "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 # one server for the run, as on a counter where Wine runs
wineboot -i >/dev/null 2>&1
# The journal's folder, as the installer makes it (the program makes no folder).
mkdir -p "$WINEPREFIX/drive_c/ProgramData/VEK Terminal"
ln -sfn "$work/paper.bin" "$WINEPREFIX/dosdevices/lpt1"
cd "$work/app"
"$probe" --hold & # the display stays as it is between runs
hold=$!
trap 'kill "$hold"; cleanup' EXIT
sleep 0.2
terminal_command=(wine AP_VEK.exe)
floor_command=(wine empty-window.exe)
. "$here/startup-rounds.sh"
startup_rounds "$runs" 1.3
