#!/usr/bin/env bash
# Builds a release from the committed sources, in a folder of its own, and puts into
# build/release: Brasselt-<version>-win32.zip (the exe and the README), the exe beside it, and
# SHA256SUMS for both. The exe is signed with Authenticode when a certificate is given:
#   BRASSELT_SIGN_PKCS12           the certificate with its private key, a PKCS#12 file
#   BRASSELT_SIGN_PASSWORD_FILE    a file that holds its password, or else
#   BRASSELT_SIGN_PASSWORD         the password itself
#   BRASSELT_SIGN_TIMESTAMP_URL    an RFC 3161 time-stamp server (optional)
set -euo pipefail
source "$(dirname "$0")/common.sh"
out=$build/release
fail() {
  echo "ERROR: $*" >&2
  exit 1
}

[ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ] ||
  fail "the tree has uncommitted changes. A release is built from what is committed: commit" \
       "or stash them first."
p12=${BRASSELT_SIGN_PKCS12:+$(realpath -m "$BRASSELT_SIGN_PKCS12")}
[ -z "$p12" ] || [ -f "$p12" ] || fail "no certificate file at BRASSELT_SIGN_PKCS12=$p12."
password_file=${BRASSELT_SIGN_PASSWORD_FILE:+$(realpath -m "$BRASSELT_SIGN_PASSWORD_FILE")}
[ -z "$password_file" ] || [ -f "$password_file" ] ||
  fail "no password file at BRASSELT_SIGN_PASSWORD_FILE=$password_file."
"$root/scripts/setup.sh"

# Nothing reaches build/release until the release is whole: a failed signing leaves no zip.
rm -rf "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git -C "$root" archive --prefix=src/ HEAD | tar -C "$work" -xf -
# Built the way the committed tree builds itself, in a build folder of its own.
(source "$work/src/scripts/common.sh" && configure_and_build Brasselt >/dev/null)
exe=$work/src/build/i686/Brasselt.exe

if [ -n "$p12" ]; then
  # The password goes to osslsigncode in a file that only we can read, never on its command
  # line, which every user of the machine can see.
  if [ -z "$password_file" ]; then
    password_file=$work/password
    (umask 077 && printf '%s' "${BRASSELT_SIGN_PASSWORD:-}" >"$password_file")
  fi
  timestamp=${BRASSELT_SIGN_TIMESTAMP_URL:-}
  osslsigncode sign -pkcs12 "$p12" -readpass "$password_file" -h sha256 \
    ${timestamp:+-ts "$timestamp"} -in "$exe" -out "$exe.signed" >"$work/sign.log" 2>&1 ||
    fail "signing failed (a wrong password, or not a code-signing certificate?):" \
         "$(cat "$work/sign.log")"
  chmod 755 "$exe.signed"
  mv "$exe.signed" "$exe"
  echo "Signed Brasselt.exe with $p12."
else
  echo "No certificate given (BRASSELT_SIGN_PKCS12): the release is unsigned."
fi

(cd "$work/src/build/i686" && cpack -B "$work/package" >/dev/null)
mkdir -p "$work/release"
cp "$work"/package/Brasselt-*-win32.zip "$exe" "$work/release/"
(cd "$work/release" && sha256sum Brasselt-*-win32.zip Brasselt.exe >SHA256SUMS)
mkdir -p "$build"
mv "$work/release" "$out"
echo "Release in $out:"
ls -l "$out"
