#!/usr/bin/env bash
# Runs the counter terminal's installer (BUILD/vek-terminal-setup.exe, the target
# installer of the preset windows-window) silently under Wine in a private prefix:
# a Windows older than 10 refused, a fresh install (the programs' manifest, version
# information and icon read back), an upgrade after the merchant changed the
# settings, the log-on start, an install that cannot write a file, and the removal,
# which keeps what is the merchant's. Exits non-zero with the first thing that is
# wrong.
#   tests/windows/InstallerTest.sh BUILD_WINDOWS_WINDOW_DIR
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:?the windows-window build folder}")
setup=$build/vek-terminal-setup.exe
staged=$build/installer/app

fail() {
  echo "InstallerTest.sh: $*" >&2
  exit 1
}
[ -f "$setup" ] || fail "no $setup (cmake --build --preset windows-window --target installer)"

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
immutable=
cleanup() {
  [ -z "$immutable" ] || chattr -i "$immutable"
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
# Wine's background processes keep the pipes they inherit open: output to files.
mkdir "$WINEPREFIX"
wineserver -p >"$work/wineserver.log" 2>&1 || fail "no wineserver: $(tail -n 3 "$work/wineserver.log")"
wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot failed: $(tail -n 3 "$work/wineboot.log")"

drive=$WINEPREFIX/drive_c
# A 32-bit program's Program Files.
if [ -d "$drive/Program Files (x86)" ]; then programs='Program Files (x86)'; else programs='Program Files'; fi
inst_win="C:\\$programs\\VEK Terminal"
inst="$drive/$programs/VEK Terminal"
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs"
shortcut="$menu/VEK Terminal/VEK 단말기.lnk"
# The all-users Startup folder (Wine spells it StartUp).
startup() { find "$menu" -maxdepth 2 -ipath "$menu/startup/VEK 단말기.lnk"; }
journal_win=$(sed -n 's/^저널파일=//p' "$src/packaging/windows/VEK_Demo.ini")
journal_dir=$drive/$(tr '\\' / <<<"${journal_win%\\*}" | cut -d/ -f2-)
template=$work/VEK_Demo.ini
sed 's/$/\r/' "$src/packaging/windows/VEK_Demo.ini" | iconv -f UTF-8 -t CP949 >"$template"

run() {  # NAME ARGS...: the exit code of a Windows program, its output in the log
  local name=$1 rc=0
  shift
  wine "$@" >"$work/$name.log" 2>&1 || rc=$?
  echo "$rc"
}
installed() {
  local rc
  rc=$(run "$1" "$setup" /S "${@:2}")
  [ "$rc" = 0 ] || fail "$1: the installer exited with $rc"
}
# The uninstaller in place (_?=): it returns when done, with its own exit code, and
# cannot remove itself then. Through a batch file, which hands the folder on
# unquoted, as the uninstaller wants it.
uninstall() {
  printf '@"%s\\uninstall.exe" /S _?=%s\r\n@exit /b %%errorlevel%%\r\n' "$inst_win" "$inst_win" >"$drive/vek-uninstall.bat"
  run "$1" cmd /c 'C:\vek-uninstall.bat'
}
# The working folder a shortcut starts its program in (the StringData of a .lnk).
working_folder() {
  python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
flags = struct.unpack_from('<I', data, 20)[0]
at = 76
if flags & 0x01: at += 2 + struct.unpack_from('<H', data, at)[0]
if flags & 0x02: at += struct.unpack_from('<I', data, at)[0]
unicode = flags & 0x80
for bit in (0x04, 0x08, 0x10):  # name, relative path, working folder
    if not flags & bit: continue
    n = struct.unpack_from('<H', data, at)[0]
    size = n * 2 if unicode else n
    text = data[at + 2:at + 2 + size].decode('utf-16-le' if unicode else 'latin-1')
    at += 2 + size
    if bit == 0x10: print(text.rstrip('\0'))
EOF
}
shortcut_in_folder() {  # LINK WHAT
  [ -f "$1" ] || fail "$2: no shortcut $1"
  local folder
  folder=$(working_folder "$1")
  [ "$folder" = "$inst_win" ] || fail "$2: the shortcut starts in '$folder', not in '$inst_win'"
}
registry_key() {  # KEY: present?
  wine reg query "$1" /reg:32 >"$work/reg.log" 2>&1
}
program_files() {
  (cd "$staged" && find . -type f | sed 's|^\./||')
}

echo "-- an older Windows is refused, and nothing is installed"
wine winecfg -v win7 >"$work/winecfg.log" 2>&1
[[ $(wine cmd /c ver 2>/dev/null) == *"Windows 6.1."* ]] || fail "the prefix does not say Windows 7: $(wine cmd /c ver 2>&1)"
rc=$(run windows-7 "$setup" /S)
[ "$rc" = 2 ] || fail "Windows 7: the installer exited with $rc, not 2"
[ ! -e "$inst" ] || fail "Windows 7: the program folder was made"
[ ! -e "$journal_dir" ] || fail "Windows 7: the journal's folder was made"
[ ! -e "$menu/VEK Terminal" ] || fail "Windows 7: Start-menu entries were made"
! registry_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VEK Terminal' ||
  fail "Windows 7: an uninstall entry was written"
wine winecfg -v win10 >"$work/winecfg.log" 2>&1

echo "-- a fresh install"
installed install
python3 "$src/tests/windows/ProgramResources.py" "$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")" \
  "$inst/AP_VEK.exe" "$inst/vek.exe" >"$work/resources.log" 2>&1 || fail "install: $(cat "$work/resources.log")"
for rel in $(program_files); do
  cmp -s "$staged/$rel" "$inst/$rel" || fail "install: $rel is not the built one"
done
for rel in AP_VEK.exe vek.exe Qt6Core.dll Qt6Widgets.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll uninstall.exe; do
  [ -f "$inst/$rel" ] || fail "install: no $rel"
done
cmp -s "$build/bin/AP_VEK.exe" "$inst/AP_VEK.exe" || fail "install: AP_VEK.exe is not the built one"
[ -z "$(find "$inst" -iname VEKDLL.dll)" ] || fail "install: a VEKDLL.dll was installed (the merchant's to put there)"
cmp "$template" "$inst/VEK_Demo.ini" || fail "install: VEK_Demo.ini is not the template in code page 949 with CRLF"
[ -d "$journal_dir" ] || fail "install: no journal folder $journal_dir"
shortcut_in_folder "$shortcut" install
[ -f "$menu/VEK Terminal/VEK 단말기 제거.lnk" ] || fail "install: no Start-menu shortcut of the uninstaller"
[ -z "$(startup)" ] || fail "install: a log-on start without /AUTOSTART"
registry_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VEK Terminal' ||
  fail "install: no uninstall entry"
grep -q 'uninstall.exe' "$work/reg.log" || fail "install: the uninstall entry names no uninstaller"

echo "-- an upgrade with /AUTOSTART keeps the merchant's settings"
merchant=$work/merchant.ini
printf '[ VEK플레노르가맹점설정 ]\r\n프린트포트=3\r\n가맹점명=카페 테스트\r\n단말기ID=1004\r\n사업자번호=1234567890\r\n' |
  iconv -f UTF-8 -t CP949 >"$merchant"
cp "$merchant" "$inst/VEK_Demo.ini"
echo old >"$inst/vek.exe"
echo old >"$inst/Qt6Core.dll"
installed upgrade /AUTOSTART
cmp -s "$merchant" "$inst/VEK_Demo.ini" || fail "upgrade: the merchant's VEK_Demo.ini was changed"
cmp -s "$staged/vek.exe" "$inst/vek.exe" || fail "upgrade: vek.exe was not replaced"
cmp -s "$staged/Qt6Core.dll" "$inst/Qt6Core.dll" || fail "upgrade: Qt6Core.dll was not replaced"
shortcut_in_folder "$(startup)" "/AUTOSTART"

echo "-- an upgrade without /AUTOSTART keeps the log-on start"
installed upgrade-again
[ -n "$(startup)" ] || fail "upgrade: the log-on start was dropped"

echo "-- an install that cannot replace a file fails"
rm "$inst/platforms/qwindows.dll"
mkdir "$inst/platforms/qwindows.dll"  # no file can be written in its place
rc=$(run blocked "$setup" /S)
[ "$rc" != 0 ] || fail "blocked: the installer said it succeeded without writing qwindows.dll"
rmdir "$inst/platforms/qwindows.dll"
installed repaired

echo "-- a removal that cannot remove a file fails and keeps its entry"
# A file Linux keeps (immutable; needs root and a file system that has the flag).
if chattr +i "$inst/Qt6Core.dll" 2>/dev/null; then
  immutable=$inst/Qt6Core.dll
  rc=$(uninstall uninstall-blocked)
  chattr -i "$immutable"
  immutable=
  [ "$rc" != 0 ] || fail "uninstall-blocked: the uninstaller said it succeeded and left Qt6Core.dll"
  registry_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VEK Terminal' ||
    fail "uninstall-blocked: the uninstall entry was removed although Qt6Core.dll is left"
  [ -f "$shortcut" ] || fail "uninstall-blocked: the shortcut was removed although Qt6Core.dll is left"
  installed reinstall
else
  echo "(skipped: no immutable files here)"
fi

echo "-- the removal keeps the settings, the payment module and the journal"
printf 'MZ merchant module' >"$inst/VEKDLL.dll"
printf 'SQLite format 3\0' >"$journal_dir/VEK_Journal.db"
rc=$(uninstall uninstall)
[ "$rc" = 0 ] || fail "uninstall: exited with $rc"
for rel in $(program_files); do
  [ ! -e "$inst/$rel" ] || fail "uninstall: $rel is left"
done
[ ! -e "$inst/platforms" ] && [ ! -e "$inst/styles" ] || fail "uninstall: a plug-in folder is left"
[ ! -e "$menu/VEK Terminal" ] || fail "uninstall: the Start-menu folder is left"
[ -z "$(startup)" ] || fail "uninstall: the log-on start is left"
! registry_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VEK Terminal' ||
  fail "uninstall: the uninstall entry is left"
! registry_key 'HKLM\Software\VEK Terminal' || fail "uninstall: the install folder's key is left"
cmp -s "$merchant" "$inst/VEK_Demo.ini" || fail "uninstall: the merchant's VEK_Demo.ini is gone or changed"
[ "$(cat "$inst/VEKDLL.dll")" = 'MZ merchant module' ] || fail "uninstall: VEKDLL.dll is gone"
[ -f "$journal_dir/VEK_Journal.db" ] || fail "uninstall: the journal is gone"
echo "InstallerTest.sh: all good"
