#!/usr/bin/env bash
# Installs what the build, the program and the tests need on Debian 12, and nothing when it
# is all there already.
set -euo pipefail
source "$(dirname "$0")/common.sh"
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo

# g++ builds the icon generator, which runs on the build machine.
packages=(cmake make file g++ googletest g++-mingw-w64-i686-posix clang-format wine wine32:i386
          wine64 xvfb xauth x11-utils fonts-liberation imagemagick icoutils libimage-exiftool-perl
          zip unzip osslsigncode openssl)

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

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  update
fi

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  update
  apt_install "${missing[@]}"
fi

# Where the kernel cannot execute 32-bit x86 code, the 32-bit Wine processes run under
# qemu-user (scripts/wine.sh). bookworm's qemu 7.2 needs over a minute to start each one;
# backports' qemu 10 needs a second or two.
runs_32bit && exit 0
installed qemu-user && dpkg --compare-versions "$(dpkg-query -W -f='${Version}' qemu-user)" ge 1:10 &&
  exit 0

echo "This machine cannot execute 32-bit x86 code: installing qemu-user from bookworm-backports."
backports=/etc/apt/sources.list.d/bookworm-backports.sources
if [ ! -f "$backports" ]; then
  # The machine's own Debian mirror, from its bookworm entry.
  mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
    awk '/^URIs:/ {uri = $2} /^Suites:/ && / bookworm( |$)/ && uri !~ /security/ {print uri; exit}')
  [ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $3 == "bookworm" {print $2; exit}' \
    /etc/apt/sources.list 2>/dev/null)
  if [ -z "$mirror" ]; then
    echo "ERROR: found no bookworm entry in the apt sources to take the mirror from." >&2
    echo "Add bookworm-backports to the apt sources, then run this again." >&2
    exit 1
  fi
  printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: %s\n' \
    "$mirror" /usr/share/keyrings/debian-archive-keyring.gpg | $sudo tee "$backports" >/dev/null
  updated=
fi
update
if ! apt_install -t bookworm-backports qemu-user; then
  echo "ERROR: qemu-user could not be installed from bookworm-backports; without it this" \
       "machine cannot run the 32-bit Brasselt.exe. Check the apt sources and the network." >&2
  exit 1
fi
