#!/usr/bin/env bash
# scripts/debian-sources.sh on a sample apt configuration (APT_ETC): the private
# sources it makes keep a Signed-By whole, an inline key line for line (" ." for its
# empty line), take a field continued on the next line, leave out a disabled stanza
# and read the one-line format with its options; for both of its modes.
set -euo pipefail
script=$(cd "$(dirname "$0")/../../scripts" && pwd)/debian-sources.sh
. /etc/os-release
release=${VERSION_CODENAME:?no release code name}
etc=$(mktemp -d)
trap 'rm -rf "$etc"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

key="Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 Comment: a sample | not a key of any archive
 .
 mDMEZbQ2ARYJKwYBBAHaRw8BAQdAhDcQf1rZ8s0V1m3Jx2b4N8kq2pYw7jF0s3L5
 tGZTYW1wbGUgYXJjaGl2ZSBrZXmIkwQTFgoAOxYhBFRM0nKpG0fJ3cW8o4t9Pq1k
 =Zx3q
 -----END PGP PUBLIC KEY BLOCK-----"
mkdir "$etc/sources.list.d"
cat >"$etc/sources.list.d/archive.sources" <<END
# The release and its updates, the second suite on a line of its own.
Types: deb deb-src
URIs: http://archive.example/debian
Suites: $release
 $release-updates
$key
Components: main contrib

Types: deb
URIs: http://disabled.example/debian
Suites: $release
Enabled: no
END
echo "deb [arch=amd64 signed-by=/usr/share/keyrings/security.gpg] http://security.example/debian-security $release-security main" \
  >"$etc/sources.list"

expected() { # MODE
  if [ "$1" = deb-src ]; then
    printf 'Types: deb-src\nURIs: http://archive.example/debian\nSuites: %s %s-updates\nComponents: main contrib\n%s\n\n' \
      "$release" "$release" "$key"
    printf 'Types: deb-src\nURIs: http://security.example/debian-security\nSuites: %s-security\nComponents: main\n' "$release"
    printf 'Signed-By: /usr/share/keyrings/security.gpg\n\n'
  else
    printf 'Types: deb\nURIs: http://archive.example/debian\nSuites: %s-backports\nComponents: main contrib\n%s\n\n' \
      "$release" "$key"
  fi
}
for mode in deb-src backports; do
  APT_ETC=$etc bash "$script" "$mode" >"$etc/$mode.sources" || fail "$mode: the script failed"
  diff -u <(expected "$mode") "$etc/$mode.sources" >&2 || fail "$mode: the sources differ (above)"
done
echo "1 passed, 0 failed"
