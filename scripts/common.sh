# shellcheck shell=bash
# Sourced by the scripts here: where things are, and how Brasselt is built.

# No script ends without saying why: a failing command that nothing handles is named.
set -E
trap 'echo "ERROR: ${BASH_SOURCE[0]##*/}, line $LINENO: $BASH_COMMAND (exit status $?)" >&2' ERR

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build
# shellcheck disable=SC2034  # read by the scripts that source this
wine=$root/scripts/wine.sh
# The 64-bit server, which 32-bit and 64-bit Wine processes share.
# shellcheck disable=SC2034
server=/usr/lib/wine/wineserver64

# A failure that the script foresaw: say what it is and what to do, and stop.
fail() {
  echo "ERROR: $*" >&2
  exit 1
}

# This machine's own Debian mirror: the address in its apt entry for SUITE that is not the
# security one; nothing if there is none.
debian_mirror() {  # SUITE
  local sources mirror=
  sources=$(ls /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  [ -z "$sources" ] || mirror=$(awk -v suite="$1" '/^URIs:/ {uri = $2}
    /^Suites:/ && $0 ~ " " suite "( |$)" && uri !~ /security/ {print uri; exit}' $sources)
  [ -n "$mirror" ] || [ ! -f /etc/apt/sources.list ] ||
    mirror=$(awk -v suite="$1" '$1 == "deb" && $3 == suite {print $2; exit}' /etc/apt/sources.list)
  echo "$mirror"
}

# Whether this kernel executes 32-bit x86 code: Wine's 32-bit loader can tell.
runs_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

configure_and_build() {  # [TARGET]
  cmake -S "$root" -B "$build/i686" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build/i686" --target "${1:-all}" -j"$(nproc)"
}
