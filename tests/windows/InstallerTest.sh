#!/usr/bin/env bash
# Runs the counter terminal's installer (BUILD/vek-terminal-setup.exe, the target
# installer of the preset windows-window) silently under Wine in a private prefix:
# a Windows older than 10 refused, a fresh install (the programs' manifest, version
# information and icon read back), an upgrade after the merchant changed the
# settings, the log-on start, an install that cannot write a file, the removal,
# which keeps what is the merchant's, and folder names the system's code page can or
# can't hold. With the certificate (PEM) the build signed with, also the signatures
# of the installer and of every program it installed. Exits non-zero with the first
# thing that is wrong.
#   tests/windows/InstallerTest.sh BUILD_WINDOWS_WINDOW_DIR [SIGNING_CERT.pem]
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:?the windows-window build folder}")
ca=${2:+$(realpath "$2")}
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
# The journal's folder in the common application-data folder.
journal_dir="$drive/ProgramData/VEK Terminal"
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
# The built program; once signed, the same bytes but for the header's checksum and
# certificate table entry, with the signature after them.
the_built_one() {  # BUILT INSTALLED
  [ -n "$ca" ] || { cmp -s "$1" "$2"; return; }
  python3 - "$1" "$2" <<'EOF'
import struct, sys
built, signed = (bytearray(open(path, "rb").read()) for path in sys.argv[1:])
pe = struct.unpack_from("<I", built, 0x3c)[0]
for image in (built, signed):
    image[pe + 88:pe + 92] = bytes(4)  # the checksum
    image[pe + 152:pe + 160] = bytes(8)  # the certificate table (a 32-bit image's)
sys.exit(0 if len(signed) > len(built) and signed[:len(built)] == built else 1)
EOF
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

echo "-- a journal folder made beforehand as a link is refused"
# Any user may make folders in ProgramData: one that leads to another folder would
# get the journal's access rules there. Wine shows a folder link as a reparse point.
# The same install without the link then succeeds: the link is what it refused.
mkdir "$drive/elsewhere"
ln -s "$drive/elsewhere" "$journal_dir"
rc=$(run linked "$setup" /S)
[ "$rc" = 2 ] || fail "linked: the installer exited with $rc, not 2"
[ ! -e "$inst/AP_VEK.exe" ] || fail "linked: the program was installed"
rm "$journal_dir"
rmdir "$drive/elsewhere"

echo "-- a fresh install"
installed install
python3 "$src/tests/windows/ProgramResources.py" "$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")" \
  "$inst/AP_VEK.exe" "$inst/vek.exe" >"$work/resources.log" 2>&1 || fail "install: $(cat "$work/resources.log")"
# The window turns off the system's ghost window, which would offer to close it in
# the middle of a payment (Wine makes none, so only the import can be seen here).
i686-w64-mingw32-objdump -p "$inst/AP_VEK.exe" >"$work/imports.txt"
grep -q DisableProcessWindowsGhosting "$work/imports.txt" || fail "install: AP_VEK.exe does not turn off the ghost window"
for rel in $(program_files); do
  cmp -s "$staged/$rel" "$inst/$rel" || fail "install: $rel is not the built one"
done
for rel in AP_VEK.exe vek.exe Qt6Core.dll Qt6Widgets.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll uninstall.exe; do
  [ -f "$inst/$rel" ] || fail "install: no $rel"
done
the_built_one "$build/bin/AP_VEK.exe" "$inst/AP_VEK.exe" || fail "install: AP_VEK.exe is not the built one"
the_built_one "$build/bin/vek.exe" "$inst/vek.exe" || fail "install: vek.exe is not the built one"
[ -z "$(find "$inst" -iname VEKDLL.dll)" ] || fail "install: a VEKDLL.dll was installed (the merchant's to put there)"
cmp "$template" "$inst/VEK_Demo.ini" || fail "install: VEK_Demo.ini is not the template in code page 949 with CRLF"
[ -d "$journal_dir" ] || fail "install: no journal folder $journal_dir"
# Wine keeps no access lists; what it enforces of them is the folder's mode bits:
# others get nothing.
[ $((0$(stat -c %a "$journal_dir") & 07)) = 0 ] || fail "install: the journal folder is open to others: $(stat -c %a "$journal_dir")"
shortcut_in_folder "$shortcut" install
[ -f "$menu/VEK Terminal/VEK 단말기 제거.lnk" ] || fail "install: no Start-menu shortcut of the uninstaller"
[ -z "$(startup)" ] || fail "install: a log-on start without /AUTOSTART"
registry_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VEK Terminal' ||
  fail "install: no uninstall entry"
grep -q 'uninstall.exe' "$work/reg.log" || fail "install: the uninstall entry names no uninstaller"

if [ -n "$ca" ]; then
  echo "-- the installer and every program and library it installed are signed"
  while IFS= read -r -d '' file; do
    osslsigncode verify -CAfile "$ca" -in "$file" >"$work/verify.log" 2>&1 ||
      fail "install: $file has no valid signature: $(tail -n 3 "$work/verify.log")"
  done < <(printf '%s\0' "$setup"; find "$inst" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
fi

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

echo "-- a folder the system's code page can't hold is refused, a Korean one on Korean Windows is not"
# Wine's code page is the locale's: Korean from a locale made here, Western European
# (1252) under C. Folder names without blanks: Wine quotes an argument with one, and
# the installer takes /D= only unquoted.
mkdir "$work/locale"
localedef -i ko_KR -f UTF-8 "$work/locale/ko_KR.UTF-8" || fail "no Korean locale (package locales)"
korean=(LOCPATH="$work/locale" LC_ALL=ko_KR.UTF-8)
# Only a console says its code page: cmd on a pseudo-terminal.
env "${korean[@]}" script -qec 'wine cmd /c chcp' /dev/null </dev/null >"$work/chcp.log" 2>&1 || true
grep -q 949 "$work/chcp.log" || fail "the Korean locale does not give code page 949: $(cat -v "$work/chcp.log")"
setup_in() {  # NAME FOLDER VARIABLE=VALUE...: the installer's exit code for C:\FOLDER
  local rc=0
  env "${@:3}" wine "$setup" /S "/D=C:\\$2" >"$work/$1.log" 2>&1 || rc=$?
  echo "$rc"
}
refused() {  # NAME FOLDER VARIABLE=VALUE...: the installer refuses C:\FOLDER and writes nothing
  local rc
  rc=$(setup_in "$@")
  [ "$rc" = 2 ] || fail "$1: the installer exited with $rc, not 2, for C:\\$2"
  [ ! -e "$drive/$2" ] || fail "$1: C:\\$2 was created"
  ! registry_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VEK Terminal' ||
    fail "$1: an uninstall entry was written"
  [ ! -e "$menu/VEK Terminal" ] || fail "$1: Start-menu shortcuts were made"
}
refused outside-949 'VEK단말기กข' "${korean[@]}"
# Its best-fit stand-in would be "e": a folder of another name.
refused best-fit 'VEKCafé' "${korean[@]}"
refused outside-1252 'VEK단말기' LC_ALL=C.UTF-8
rc=$(setup_in korean-folder 'VEK단말기' "${korean[@]}")
[ "$rc" = 0 ] || fail "korean-folder: the installer exited with $rc"
for rel in AP_VEK.exe vek.exe uninstall.exe; do
  [ -f "$drive/VEK단말기/$rel" ] || fail "korean-folder: no $rel in C:\\VEK단말기"
done
echo "InstallerTest.sh: all good"
