#!/usr/bin/env bash
# Builds the Windows installer OUT/vek-terminal-setup.exe: lays out the program folder
# (app-folder.sh, never with a VEKDLL.dll: the payment module is the merchant's),
# writes the settings template in code page 949 with CRLF line ends, lists the
# folder's files for the install and uninstall sections and runs makensis. With a
# certificate in VEK_SIGN_CERT (see sign.sh) every program and library of the folder,
# the uninstaller and the installer are signed; without one they are not.
#   packaging/windows/build-installer.sh QT_PREFIX OUT VERSION SETUP_TOOL.exe PROGRAM.exe...
# SETUP_TOOL.exe (vek-setup.exe) runs during the install and is not installed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
qt=${1:?Qt for Windows} out=$(realpath -m "${2:?output folder}") version=${3:?version} tool=${4:?vek-setup.exe}
shift 4
stage=$out/installer
app=$stage/app
rm -rf "$stage"
mkdir -p "$stage"

bash "$here/app-folder.sh" "$qt" "$app" "$@"
find "$app" -iname VEKDLL.dll -delete
cp "$tool" "$stage/vek-setup.exe"
tool=$stage/vek-setup.exe
sign=()
if [ -n "${VEK_SIGN_CERT:-}" ]; then
  find "$app" "$tool" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0 | xargs -0 bash "$here/sign.sh"
  sign=("-DSIGN=bash \"$here/sign.sh\"")
fi

sed 's/$/\r/' "$here/VEK_Demo.ini" | iconv -f UTF-8 -t CP949 >"$stage/VEK_Demo.ini"

# NSIS names files under $INSTDIR with Windows separators; on removal folders come
# after their files, deepest first.
files=$(cd "$app" && find . -type f | sed 's|^\./||' | sort)
folders=$(cd "$app" && find . -mindepth 1 -type d | sed 's|^\./||' | sort -r)
windows() { printf '%s' "${1//\//\\}"; }
{
  while read -r rel; do
    sub=
    [[ $rel == */* ]] && sub="\\$(windows "${rel%/*}")"
    printf 'SetOutPath "$INSTDIR%s"\nFile "%s"\n' "$sub" "$app/$rel"
  done <<<"$files"
  echo 'SetOutPath "$INSTDIR"'
} >"$stage/install-files.nsh"
{
  while read -r rel; do printf '!insertmacro RemoveProgramFile "%s"\n' "$(windows "$rel")"; done <<<"$files"
  while read -r rel; do printf 'RMDir "$INSTDIR\\%s"\n' "$(windows "$rel")"; done <<<"$folders"
} >"$stage/uninstall-files.nsh"

makensis -V2 -INPUTCHARSET UTF8 \
  "-DVERSION=$version" \
  "-DVERSION_QUAD=$(printf '%s.0.0.0' "$version" | cut -d. -f1-4)" \
  "-DSETTINGS=$stage/VEK_Demo.ini" \
  "-DSETUP_TOOL=$tool" \
  "-DINSTALL_FILES=$stage/install-files.nsh" \
  "-DUNINSTALL_FILES=$stage/uninstall-files.nsh" \
  "-DOUTFILE=$out/vek-terminal-setup.exe" \
  "${sign[@]}" \
  "$here/vek-terminal.nsi"
