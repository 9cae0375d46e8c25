#!/usr/bin/env bash
# Every quoted include names its file: the path from the repository root, or a file
# beside the including one (a bare name: a path with a folder found beside the file
# would bypass the per-target header folders, and with them the layering). The build
# finds headers through those folders, so a wrong path may still build; this check
# keeps a reader's (or a tool's) path true.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -d '' files < <(find . -path './build*' -prune -o -path './.git' -prune -o \
  -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cc' -o -name '*.cpp' \) -printf '%P\0')
((${#files[@]})) || { echo "no sources found" >&2; exit 2; }

missing=0
for file in "${files[@]}"; do
  folder=$(dirname "$file")
  includes=$(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file") || [ $? = 1 ] || exit 2
  while IFS= read -r line; do
    [ -n "$line" ] || continue
    number=${line%%:*}
    name=${line#*:}
    name=${name#*\"}
    name=${name%%\"*}
    [[ /$name/ != */./* && /$name/ != */../* && -f "$name" ]] && continue
    [[ $name != */* && -f "$folder/$name" ]] && continue
    echo "$file:$number: #include \"$name\" names no file (write its path from the repository root)" >&2
    missing=$((missing + 1))
  done <<<"$includes"
done

if ((missing > 0)); then
  echo "$missing include(s) name no file" >&2
  exit 1
fi
echo "Every quoted include names its file (${#files[@]} files)."
