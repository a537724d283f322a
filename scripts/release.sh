#!/usr/bin/env bash
# Builds a release from the committed sources, in a folder of its own, and puts into
# build/release: Brasselt-<version>-win32.zip with what users get (the exe, the users' guide
# as README.txt, BUILD-INFO.txt and the two registry files for many machines), the same files
# beside it, and SHA256SUMS for them all; given BRASSELT_RELEASE_URL, the https address where
# the zip will be published, also the winget and Scoop manifests for it. BUILD-INFO.txt names
# the commit, its tag, the Debian release and the toolchain's packages, since another compiler
# makes another exe. Its variables, signing included: docs/DEVELOPING.md, "Release".
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "$0")/common.sh"
out=$build/release
# Nothing reaches build/release until the release is whole, and a failed one, whatever stops
# it, leaves none, not even the one before, which could pass for it.
rm -rf "$out"

# Package managers download the zip from there for every user who installs it.
url=${BRASSELT_RELEASE_URL:-}
[[ -z $url || $url =~ ^https://[^[:space:]]+$ ]] ||
  fail "BRASSELT_RELEASE_URL=$url is not an https address. Give the https address where the" \
       "zip will be published, or none for a release without winget and Scoop manifests."
[ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ] ||
  fail "the tree has uncommitted changes. A release is built from what is committed: commit" \
       "or stash them first."
version=$(git -C "$root" show HEAD:CMakeLists.txt |
  sed -nE 's/^project\(Brasselt VERSION ([0-9.]+).*/\1/p')
# What is new for users in this version, which winget shows as its release notes.
notes=$(git -C "$root" show HEAD:CHANGELOG.md |
  awk -v head="## [$version] - " 'index($0, head) == 1 {on = 1; next} /^## / {on = 0} on' |
  sed '/./,$!d' || true)
[ -n "$notes" ] || fail "CHANGELOG.md has no section for version $version, the one in" \
  "CMakeLists.txt: add \"## [$version] - YYYY-MM-DD\" with what users get that is new" \
  "(docs/DEVELOPING.md, \"Release\")."
# Tagged for another version, it would be published under the wrong number.
tag=$(git -C "$root" tag --points-at HEAD | grep -xE 'v[0-9]+(\.[0-9]+)*' || true)
[ -z "$tag" ] || [ "$tag" = "v$version" ] ||
  fail "the commit is tagged ${tag//$'\n'/ }, but CMakeLists.txt says version $version."
p12=${BRASSELT_SIGN_PKCS12:+$(realpath -m "$BRASSELT_SIGN_PKCS12")}
[ -z "$p12" ] || [ -f "$p12" ] || fail "no certificate file at BRASSELT_SIGN_PKCS12=$p12."
password_file=${BRASSELT_SIGN_PASSWORD_FILE:+$(realpath -m "$BRASSELT_SIGN_PASSWORD_FILE")}
[ -z "$password_file" ] || [ -f "$password_file" ] ||
  fail "no password file at BRASSELT_SIGN_PASSWORD_FILE=$password_file."
"$root/scripts/setup.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git -C "$root" archive --prefix=src/ HEAD | tar -C "$work" -xf -
# Built the way the committed tree builds itself, in a build folder of its own.
# shellcheck source=scripts/common.sh
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
  mv "$exe.signed" "$exe"
  echo "Signed Brasselt.exe with $p12."
else
  echo "No certificate given (BRASSELT_SIGN_PKCS12): the release is unsigned."
fi

# What built it, as packages that apt-get can install again at those versions.
commit=$(git -C "$root" rev-parse HEAD)
time=$(git -C "$root" log -1 --format=%ct HEAD)
mkdir -p "$work/release"
cd "$work/release"
# Every text file for users, SHA256SUMS included, has CRLF line ends, which Notepad before
# Windows 10 needs; sha256sum -c reads them too.
{
  echo "Brasselt $version"
  echo "commit $commit"
  [ -z "$tag" ] || echo "tag $tag"
  echo "$(. /etc/os-release && echo "$PRETTY_NAME"), $(cat /etc/debian_version)"
  echo "Built with these Debian packages (apt-get install NAME=VERSION installs one again):"
  dpkg-query -W -f='${Package}=${Version}\n' g++-mingw-w64-i686-posix binutils-mingw-w64-i686 \
    mingw-w64-i686-dev cmake
} | sed 's/$/\r/' >BUILD-INFO.txt
shipped=(Brasselt.exe README.txt BUILD-INFO.txt disable-autorun.reg enable-autorun.reg)
cp "$exe" .
cp "$work/src/docs/README.txt" "$work/src/fleet/disable-autorun.reg" \
  "$work/src/fleet/enable-autorun.reg" .
chmod 755 Brasselt.exe
chmod 644 "${shipped[@]:1}"
# Dated from the commit, not the clock, and in UTC, as zip keeps local times without a zone;
# -X leaves out the owner and the extra time fields.
touch -d "@$time" "${shipped[@]}"
zip="Brasselt-$version-win32.zip"
TZ=UTC zip -X -q "$zip" "${shipped[@]}"
sha256sum "$zip" "${shipped[@]}" | sed 's/$/\r/' >SHA256SUMS

# The manifests keep the line ends that winget's and Scoop's repositories hold, LF.
if [ -n "$url" ]; then
  # shellcheck source=packaging/metadata.sh
  source "$work/src/packaging/metadata.sh"
  sha=$(sha256sum "$zip" | cut -d' ' -f1)
  q() { jq -n --arg text "$1" '$text'; }  # a YAML string, written as JSON writes one
  mkdir winget scoop
  cat >"winget/$identifier.yaml" <<EOF
# yaml-language-server: \$schema=https://aka.ms/winget-manifest.version.1.12.0.schema.json
PackageIdentifier: $identifier
PackageVersion: $version
DefaultLocale: en-US
ManifestType: version
ManifestVersion: 1.12.0
EOF
  cat >"winget/$identifier.installer.yaml" <<EOF
# yaml-language-server: \$schema=https://aka.ms/winget-manifest.installer.1.12.0.schema.json
PackageIdentifier: $identifier
PackageVersion: $version
InstallerType: zip
NestedInstallerType: portable
NestedInstallerFiles:
- RelativeFilePath: ${shipped[0]}
  PortableCommandAlias: ${name,,}
ReleaseDate: $(date -u -d "@$time" +%F)
Installers:
- Architecture: x86
  InstallerUrl: $(q "$url")
  InstallerSha256: ${sha^^}
ManifestType: installer
ManifestVersion: 1.12.0
EOF
  cat >"winget/$identifier.locale.en-US.yaml" <<EOF
# yaml-language-server: \$schema=https://aka.ms/winget-manifest.defaultLocale.1.12.0.schema.json
PackageIdentifier: $identifier
PackageVersion: $version
PackageLocale: en-US
Publisher: $(q "$publisher")
PublisherUrl: $(q "$homepage")
PackageName: $(q "$name")
PackageUrl: $(q "$homepage")
License: $(q "$license")
ShortDescription: $(q "$description")
ReleaseNotes: |-
$(sed 's/./  &/' <<<"$notes")
ManifestType: defaultLocale
ManifestVersion: 1.12.0
EOF
  # At the top level, not under "architecture", which Scoop refuses on 64-bit Windows.
  jq -n --arg version "$version" --arg description "$description" --arg homepage "$homepage" \
    --arg license "$license" --arg url "$url" --arg hash "$sha" --arg exe "${shipped[0]}" \
    --arg name "$name" '{$version, $description, $homepage, $license, $url, $hash, bin: $exe,
    shortcuts: [[$exe, $name]]}' >"scoop/${name,,}.json"
fi
cd "$root"
mkdir -p "$build"
mv "$work/release" "$out"
echo "Release in $out:"
ls -lR "$out"
[ -n "$url" ] || echo "No BRASSELT_RELEASE_URL given: no winget or Scoop manifests were made."
[ -n "$tag" ] || echo "The commit has no tag v$version: a release to publish is tagged first."
