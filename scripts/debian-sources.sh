#!/usr/bin/env bash
# Prints apt sources (deb822) for a private apt folder, made from this machine's own
# apt configuration so that the project follows whatever Debian archive the machine
# uses and names none itself:
#   debian-sources.sh deb-src     the release's source packages (the release, its
#                                 updates and security suites, as the machine has them)
#   debian-sources.sh backports   the release's backports (binary packages), from the
#                                 archive that serves the release itself
# Reads /etc/apt/sources.list.d/*.sources and the one-line lists; fails when the
# machine names no archive of its release.
set -euo pipefail

mode=${1:?deb-src or backports}
etc=${APT_ETC:-/etc/apt}  # another folder, to try the script on other configurations
. /etc/os-release
release=${VERSION_CODENAME:?no release code name in /etc/os-release}

# One entry a line: types|uri|suites|components|signed-by, from both formats. A
# field of a deb822 stanza goes on over the lines that start with a blank: a list
# (suites, components) is joined with spaces, Signed-By is kept whole, an inline
# key's lines as they are (" ." for an empty one), joined here with the character
# 0x1e.
entries() {
  shopt -s nullglob
  for f in "$etc"/sources.list.d/*.sources; do
    awk 'BEGIN { RS = ""; FS = "\n" }
      {
        delete field; name = ""
        for (i = 1; i <= NF; i++) {
          line = $i
          sub(/\r$/, "", line)
          if (line ~ /^#/) continue
          if (line ~ /^[ \t]/) {
            if (name == "signed-by") { sub(/[ \t]+$/, "", line); field[name] = field[name] "\036" line }
            else if (name != "") { gsub(/^[ \t]+|[ \t]+$/, "", line); field[name] = field[name] " " line }
            continue
          }
          split(line, kv, ":"); name = tolower(kv[1]); value = substr(line, length(kv[1]) + 2)
          gsub(/^[ \t]+|[ \t]+$/, "", value)
          field[name] = value
        }
        if (tolower(field["enabled"]) != "no" && field["uris"] != "")
          print field["types"] "|" field["uris"] "|" field["suites"] "|" field["components"] "|" field["signed-by"]
      }' "$f"
  done
  for f in "$etc"/sources.list "$etc"/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk '$1 == "deb" || $1 == "deb-src" {
        type = $1; key = ""; i = 2
        if ($2 ~ /^\[/) {
          for (; i <= NF; i++) {
            if ($i ~ /^\[?signed-by=/) { key = $i; sub(/^\[?signed-by=/, "", key); sub(/\]$/, "", key) }
            if ($i ~ /\]$/) { i++; break }
          }
        }
        uri = $i; suite = $(i + 1); comps = ""
        for (j = i + 2; j <= NF; j++) comps = comps (comps == "" ? "" : " ") $j
        print type "|" uri "|" suite "|" comps "|" key
      }' "$f"
  done
}

found=0
while IFS='|' read -r types uri suites comps key; do
  [[ " $types " == *" deb "* ]] || continue
  wanted=()
  for s in $suites; do
    case "$mode:$s" in
      deb-src:"$release" | deb-src:"$release"-updates | deb-src:"$release"-security) wanted+=("$s") ;;
      backports:"$release") wanted+=("$release-backports") ;;
    esac
  done
  ((${#wanted[@]})) || continue
  found=1
  echo "Types: $([ "$mode" = deb-src ] && echo deb-src || echo deb)"
  echo "URIs: $uri"
  echo "Suites: ${wanted[*]}"
  echo "Components: ${comps:-main}"
  if [ -n "$key" ]; then
    first=${key%%$'\x1e'*}
    rest=${key:${#first}}
    printf 'Signed-By:%s%s\n' "${first:+ $first}" "${rest//$'\x1e'/$'\n'}"
  fi
  echo
done < <(entries)

((found)) || { echo "debian-sources.sh: this machine's apt sources name no archive of $release" >&2; exit 1; }
