#!/usr/bin/env bash
# Every quoted include names its file: the path from the repository root, or a file
# beside the including one. The build finds headers through per-target folders, so
# a wrong path may still build; this check keeps a reader's (or a tool's) path true.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=0
while IFS= read -r -d '' file; do
  folder=$(dirname "$file")
  while IFS= read -r line; do
    number=${line%%:*}
    name=${line#*:}
    name=${name#*\"}
    name=${name%%\"*}
    if [[ ! -f "$name" && ! -f "$folder/$name" ]]; then
      echo "$file:$number: #include \"$name\" names no file (write its path from the repository root)" >&2
      missing=$((missing + 1))
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done < <(find . -path './build*' -prune -o -path './.git' -prune -o \
  -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cc' -o -name '*.cpp' \) -printf '%P\0')

if ((missing > 0)); then
  echo "$missing include(s) name no file" >&2
  exit 1
fi
echo "Every quoted include names its file."
