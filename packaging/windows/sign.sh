#!/usr/bin/env bash
# Signs Windows programs in place with Authenticode (osslsigncode, SHA-256), with the
# certificate, its chain and its key in the PKCS#12 file VEK_SIGN_CERT (a .pfx as a
# certificate authority or Windows exports it), whose password, when it has one, is
# in VEK_SIGN_PASSWORD. With a time-stamping server (RFC 3161) in VEK_SIGN_TIMESTAMP
# the signatures stay valid after the certificate expires.
#   packaging/windows/sign.sh FILE...
set -euo pipefail
: "${VEK_SIGN_CERT:?the PKCS#12 file to sign with}"
args=(sign -h sha256 -n "VEK 단말기" -pkcs12 "$VEK_SIGN_CERT")
if [ -n "${VEK_SIGN_PASSWORD:-}" ]; then
  # From a file only this user reads: a password on a command line is anyone's to see.
  private=$(mktemp -d)
  trap 'rm -rf "$private"' EXIT
  printf '%s' "$VEK_SIGN_PASSWORD" >"$private/password"
  args+=(-readpass "$private/password")
fi
[ -z "${VEK_SIGN_TIMESTAMP:-}" ] || args+=(-ts "$VEK_SIGN_TIMESTAMP")
for file in "$@"; do
  osslsigncode "${args[@]}" -in "$file" -out "$file.signed" >/dev/null ||
    { rm -f "$file.signed"; echo "sign.sh: could not sign $file" >&2; exit 1; }
  mv "$file.signed" "$file"
done
