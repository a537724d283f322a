#!/usr/bin/env bash
# Installs what the build, the program and the tests need on Debian 12 or 13, and nothing when
# it is all there already.
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "$0")/common.sh"
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
release=$( (. /etc/os-release && echo "${ID:-}-${VERSION_CODENAME:-}") 2>/dev/null || true)
release=${release#debian-}

# g++ builds the icon generator, which runs on the build machine; the release check commits
# a copy of the tree with git; the release writes its manifests with jq; the tests lint the
# scripts with shellcheck.
packages=(cmake make file g++ git googletest g++-mingw-w64-i686-posix wine wine32:i386 wine64 xvfb
          xauth x11-utils fonts-liberation imagemagick icoutils libimage-exiftool-perl zip unzip
          osslsigncode openssl jq shellcheck)

updated=
update() {
  [ -n "$updated" ] || $sudo apt-get update -qq
  updated=1
}
apt_install() {  # [APT OPTIONS...] PACKAGE...
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" \
    >/dev/null
}
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  case $release in
  bookworm | trixie) ;;
  *) fail "this installs with apt on Debian 12 (bookworm) or 13 (trixie), not on this system" \
       "(${release:-unknown}). Install these, by their Debian names, then run this again:" \
       "${missing[*]}; and where the kernel cannot execute 32-bit x86 code, qemu-user 10 or" \
       "later." ;;
  esac
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  echo "Installing: ${missing[*]}"
  update
  apt_install "${missing[@]}"
fi

# Where the kernel cannot execute 32-bit x86 code, the 32-bit Wine processes run under
# qemu-user (scripts/wine.sh). Before version 10 it needs over a minute to start each one;
# from 10 on, a second or two.
runs_32bit && exit 0
recent() { dpkg --compare-versions "$1" ge 1:10; }
installed qemu-user && recent "$(dpkg-query -W -f='${Version}' qemu-user)" && exit 0

update
candidate=$(apt-cache policy qemu-user | awk '/Candidate:/ {print $2}')
if [ -n "$candidate" ] && [ "$candidate" != "(none)" ] && recent "$candidate"; then
  echo "This machine cannot execute 32-bit x86 code: installing qemu-user $candidate."
  apt_install qemu-user
  exit 0
fi
[ "$release" = bookworm ] || fail "this machine cannot execute 32-bit x86 code, and the apt" \
  "sources offer no qemu-user 10 or later (only ${candidate:-none}), which runs the 32-bit" \
  "Brasselt.exe. Install qemu-user 10 or later, then run this again."

echo "This machine cannot execute 32-bit x86 code: installing qemu-user from bookworm-backports."
backports=/etc/apt/sources.list.d/bookworm-backports.sources
if [ ! -f "$backports" ]; then
  mirror=$(debian_mirror bookworm)
  [ -n "$mirror" ] || fail "found no bookworm entry in the apt sources to take the mirror from." \
    "Add bookworm-backports to the apt sources, then run this again."
  printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: %s\n' \
    "$mirror" /usr/share/keyrings/debian-archive-keyring.gpg | $sudo tee "$backports" >/dev/null
  updated=
fi
update
apt_install -t bookworm-backports qemu-user ||
  fail "qemu-user could not be installed from bookworm-backports; without it this machine" \
       "cannot run the 32-bit Brasselt.exe. Check the apt sources and the network."
