#!/usr/bin/env bash
# Installs what the build, the program and the tests need on Debian 12, and nothing when it
# is all there already.
set -euo pipefail
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo

packages=(cmake make file googletest g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          clang-format wine wine32:i386 wine64 xvfb xauth x11-utils fonts-liberation imagemagick
          zip unzip)

updated=
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  updated=1
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  [ -n "$updated" ] || $sudo apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi
