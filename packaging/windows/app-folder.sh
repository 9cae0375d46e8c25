#!/usr/bin/env bash
# Lays out a Windows program folder: the programs given and, following their
# imports, the DLLs of Qt and of the MinGW run time they load (from the Qt of
# scripts/qt-windows.sh and its list of run-time DLLs); Qt's Windows platform plugin
# in platforms/ and its Windows style in styles/, with what those import.
#   packaging/windows/app-folder.sh QT_PREFIX FOLDER PROGRAM.exe...
set -euo pipefail
qt=${1:?Qt for Windows} app=${2:?folder}
shift 2
mkdir -p "$app/platforms" "$app/styles"
pending=()
for program in "$@"; do
  cp "$program" "$app/"
  pending+=("$app/$(basename "$program")")
done
cp "$qt/plugins/platforms/qwindows.dll" "$app/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$app/styles/"
pending+=("$app/platforms/qwindows.dll" "$app/styles/qwindowsvistastyle.dll")
declare -A provider
for f in "$qt"/bin/*.dll $(cat "$qt/runtime-dlls"); do provider[$(basename "$f" | tr '[:upper:]' '[:lower:]')]=$f; done
while ((${#pending[@]})); do
  file=${pending[0]}
  pending=("${pending[@]:1}")
  for dll in $(i686-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]'); do
    [ -n "${provider[$dll]:-}" ] || continue
    copy=$app/$(basename "${provider[$dll]}")
    [ -f "$copy" ] && continue
    cp "${provider[$dll]}" "$copy"
    pending+=("$copy")
  done
done
