#!/usr/bin/env bash
# check-release.sh SRC BUILD: the qualities of what users get. Brasselt.exe is a hardened 32-bit
# GUI image that imports only DLLs Windows always loads from the system directory, and is
# small; its resources and version record are the golden ones; the release command refuses
# uncommitted changes, a version without release notes and an address other than https, signs
# the exe reversibly, and packs it with the users' guide, what built it, the registry files the
# tests import, and checksums, with the winget and Scoop manifests for it; a clean build
# elsewhere gives the same bytes; a failed release leaves none.
set -euo pipefail
src=$1 build=$2 exe=$2/Brasselt.exe work=$2/release-check actual=$2/golden-actual
fail() { echo "FAIL: $*" >&2; exit 1; }

headers=$(i686-w64-mingw32-objdump -p "$exe")
sections=$(i686-w64-mingw32-size -A "$exe")
# ASLR (0x40), DEP (0x100), no SEH handlers (0x400), terminal-server aware (0x8000). The
# header's machine and subsystem are in the exiftool golden below.
flags=$((16#$(awk '/^DllCharacteristics/ {print $2}' <<<"$headers")))
(((flags & 0x8540) == 0x8540)) || fail "DllCharacteristics $(printf %#x $flags)"
# ASLR cannot move an image without its relocations.
[ "$(awk '$1 == ".reloc" {print $2}' <<<"$sections")" -gt 0 ] || fail "no relocations"
# KnownDLLs only: a DLL of any other name could be planted beside the exe.
awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" |
  grep -vxE '(kernel32|user32|gdi32|advapi32|msvcrt)\.dll' && fail "imports the DLLs above"
total=$(awk '$1 ~ /^\./ && $1 != ".rsrc" {sum += $2} END {print sum}' <<<"$sections")
[ "$total" -le 65536 ] || fail "$total bytes of code and data, more than 64 KiB"
# Built without exceptions: nothing from the C++ runtime's library, whose pieces would bring
# the unwinder and the thread library. The linker's map names every archive member it took.
sed -n '/^Archive member included/,/^Discarded input/p' "$build/Brasselt.map" |
  grep -oE 'lib(stdc\+\+|gcc_eh|(win)?pthread)\.a\([^)]*\)' && fail "linked in the members above"

# What Windows shows of the exe, read by icoutils and exiftool: the resources (without their
# offsets, which move with the code), the manifest's text, the icon that Explorer draws, as a
# listing of its images and in full, the header and the version record (without the sizes of
# code and data).
mkdir -p "$actual"
wrestool -x -t 14 -n 1 "$exe" >"$actual/icon.ico"
# wrestool writes bytes it never filled after the last image; the icon ends where the
# directory's furthest image (size + offset) ends.
count=$(od -An -tu2 -j4 -N2 "$actual/icon.ico")
truncate -s "$(od -An -tu4 -j6 -N$((16 * count)) -w16 "$actual/icon.ico" |
  awk '$3 + $4 > end {end = $3 + $4} END {print end}')" "$actual/icon.ico"
{
  wrestool -l "$exe" | sed 's/offset=0x[0-9a-f]* //'
  wrestool -x --raw -t 24 -n 1 "$exe"
  icotool -l "$actual/icon.ico"
  exiftool -s -EXE:all --CodeSize --InitializedDataSize --UninitializedDataSize --EntryPoint \
    --LinkerVersion "$exe"
} >"$actual/resources.txt"
for golden in resources.txt icon.ico; do
  cmp -s "$src/tests/golden/$golden" "$actual/$golden" && rm "$actual/$golden" && continue
  diff -u --text "$src/tests/golden/$golden" "$actual/$golden" | head -40 >&2 || true
  fail "$golden differs from tests/golden/$golden; actual: $actual/$golden"
done

# The release command, run on a committed copy of this tree in a longer path, with a throwaway
# self-signed code-signing certificate, its own CA: its exe, once the signature is removed, is
# this build's byte for byte.
rm -rf "$work"
copy="$work/a longer path/src" release="$work/a longer path/src/build/release"
mkdir -p "$copy"
tar -C "$src" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf -
# Committed on a day far from the clock's, at an even second, which a zip entry keeps exactly,
# and tagged as a release is.
commit() { git -C "$copy" -c user.name=t -c user.email=t@t -c commit.gpgsign=false commit -q "$@"; }
version=$(sed -nE 's/^project\(Brasselt VERSION ([0-9.]+).*/\1/p' "$src/CMakeLists.txt")
git -C "$copy" init -q && git -C "$copy" add -A
GIT_COMMITTER_DATE=2001-02-03T04:05:06Z commit -m copy && git -C "$copy" tag "v$version"
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out ca.pem -days 2 -subj /CN=Test \
  -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -in ca.pem -inkey signer.key -passout pass:secret -out signer.p12
printf secret >password
make_release() { env "$@" "$copy/scripts/release.sh" >release.log 2>&1; }
url=https://example.invalid/Brasselt.zip
make_release BRASSELT_SIGN_PKCS12=signer.p12 BRASSELT_SIGN_PASSWORD_FILE=password \
  BRASSELT_RELEASE_URL=$url || fail "the release failed: $(cat release.log)"

cd "$release"
osslsigncode verify -CAfile "$work/ca.pem" -in Brasselt.exe |
  grep "^Message digest algorithm *: SHA256" >/dev/null || fail "unverified, or not SHA-256"
osslsigncode remove-signature -in Brasselt.exe -out "$work/unsigned.exe" >/dev/null
cmp "$work/unsigned.exe" "$exe" || fail "the release's exe, unsigned, is not this build's"
sha256sum --quiet -c SHA256SUMS || fail "SHA256SUMS does not match"
[ "$(find ./* -prune -type f | wc -l)" -eq "$(($(wc -l <SHA256SUMS) + 1))" ] ||
  fail "SHA256SUMS does not list every file of the release"
grep -qx "commit $(git -C "$copy" rev-parse HEAD)"$'\r' BUILD-INFO.txt &&
  grep -qx "tag v$version"$'\r' BUILD-INFO.txt || fail "BUILD-INFO names not the commit and tag"
shipped=(Brasselt.exe README.txt BUILD-INFO.txt disable-autorun.reg enable-autorun.reg)
zip=(Brasselt-*-win32.zip)
[ "$(unzip -Z1 "${zip[0]}")" = "$(printf '%s\n' "${shipped[@]}")" ] ||
  fail "the zip holds" "$(unzip -Z1 "${zip[0]}" | xargs)"
for file in "${shipped[@]}"; do
  unzip -p "${zip[0]}" "$file" | cmp - "$file" || fail "the zip holds another $file"
  [[ $file != *.reg ]] || cmp "$file" "$src/fleet/$file" || fail "$file is not fleet/$file"
done
for file in *.txt SHA256SUMS; do
  ! grep -q -v $'\r$' "$file" || fail "$file has lines without CRLF, one line in old Notepads"
done
[ "$(unzip -Z -T "${zip[0]}" | grep -c ' 20010203\.040506 ')" -eq ${#shipped[@]} ] ||
  fail "the zip's entries are not dated from the commit"

# The package managers' manifests: every field each requires, the zip's address and hash.
sha=$(sha256sum "${zip[0]}" | cut -d' ' -f1)
required() {  # MANIFEST-TYPE KEY[: VALUE]...: the winget manifest of that type has them
  file=$(grep -lx "ManifestType: $1" winget/*.yaml) || fail "no winget $1 manifest"
  for field in ManifestVersion PackageIdentifier PackageVersion "${@:2}"; do
    grep -qiE "^[- ]*$field(:|$)" "$file" || fail "$file has no $field"
  done
}
required version DefaultLocale
required defaultLocale PackageLocale Publisher PackageName License ShortDescription
required installer Architecture InstallerType NestedInstallerType "RelativeFilePath: Brasselt.exe" \
  "InstallerUrl: \"$url\"" "InstallerSha256: $sha" "ReleaseDate: 2001-02-03"
jq -e "[.url == \"$url\", .hash == \"$sha\", .bin == \"Brasselt.exe\", .version, .homepage,
  .license, .description, .shortcuts] | all" scoop/* >/dev/null || fail "a Scoop field is wrong"

# A failed release, whatever stops it, says why and leaves nothing behind, not even the one
# before, which could pass for it.
refused() {  # WHAT MESSAGE [VARIABLE=VALUE...]
  make_release "${@:3}" && fail "released with $1"
  grep -q "$2" release.log || fail "no clear message for $1"
  [ ! -e "$release" ] || fail "a release stopped by $1 left $release"
}
cd "$work"
echo >>"$copy/README.md"
refused "uncommitted changes" "uncommitted changes"
git -C "$copy" checkout -q README.md
refused "an http address" "not an https address" BRASSELT_RELEASE_URL=http://example.invalid/a.zip
refused "a wrong password" "signing failed" BRASSELT_SIGN_PKCS12=signer.p12 BRASSELT_SIGN_PASSWORD=x
sed -i "s/VERSION $version/VERSION $version.1/" "$copy/CMakeLists.txt" && commit -am "$version.1"
refused "a version without release notes" "CHANGELOG.md has no section"

rm -rf "$work"
echo "ok"
