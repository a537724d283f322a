#!/usr/bin/env bash
# wine.sh PROGRAM [ARGS...]: runs a Windows program under Wine in a 64-bit prefix (WINEPREFIX),
# the one layout on every machine. The wineserver and 64-bit programs run natively; a 32-bit
# program, Brasselt.exe among them, runs through WOW64 as on 64-bit Windows: natively where
# the kernel can execute 32-bit x86 code, through qemu-user where it cannot.
# wine.sh --how: says which of the two it is here.
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

export WINESERVER=$server
# Without it Debian's wine64 leaves the prefix's syswow64 empty, and no 32-bit program starts.
export WINEDLLPATH=/usr/lib/i386-linux-gnu/wine
# Every script runs Wine through here: its messages are off, unless the user's WINEDEBUG asks.
export WINEDEBUG=${WINEDEBUG:--all}

# Wine starts a 32-bit program by running the file "wine" beside the real path of its 64-bit
# loader, so emulation needs a loader folder of its own: a copy of the 64-bit loader, the
# 32-bit one under another name, and a "wine" that runs that one under qemu-i386. Wine finds
# its libraries relative to the loader, hence the links beside it.
loader_dir() {
  local dir=$1 staging
  # A copy of the loader from an older Wine would not match the libraries it loads.
  if [ -e "$dir" ] && ! cmp -s /usr/lib/wine/wine64 "$dir/lib/wine/wine64"; then rm -rf "$dir"; fi
  [ -x "$dir/lib/wine/wine" ] && return
  mkdir -p "${dir%/*}"
  staging=$(mktemp -d "$dir.XXXXXX")
  mkdir -p "$staging/lib/wine" "$staging/lib/x86_64-linux-gnu" "$staging/lib/i386-linux-gnu" \
    "$staging/share"
  cp /usr/lib/wine/wine64 "$staging/lib/wine/wine64"
  cp /usr/lib/wine/wine "$staging/lib/wine/wine32"
  ln -s /usr/lib/x86_64-linux-gnu/wine "$staging/lib/x86_64-linux-gnu/wine"
  ln -s /usr/lib/i386-linux-gnu/wine "$staging/lib/i386-linux-gnu/wine"
  ln -s /usr/share/wine "$staging/share/wine"
  # -0: a 32-bit program that starts another comes back through this script. The 32-bit
  # loader's re-exec through its preloader does not work under qemu.
  cat >"$staging/lib/wine/wine" <<'EOF'
#!/bin/sh
WINELOADERNOEXEC=1 exec qemu-i386 -0 "$0" "$(dirname "$0")/wine32" "$@"
EOF
  chmod +x "$staging/lib/wine/wine"
  # Tests start in parallel: the first complete folder wins.
  mv -T "$staging" "$dir" 2>/dev/null || rm -rf "$staging"
}

if runs_32bit; then
  [ "${1:-}" != --how ] || { echo "natively"; exit; }
  export WINELOADER=/usr/lib/wine/wine64
else
  if [ "${1:-}" = --how ]; then
    echo "through qemu-i386: this kernel cannot execute 32-bit x86 code"
    exit
  fi
  if ! command -v qemu-i386 >/dev/null; then
    echo "ERROR: this machine cannot execute 32-bit x86 code and qemu-i386 is missing;" \
         "run scripts/setup.sh, which installs qemu-user 10 or later." >&2
    exit 1
  fi
  loader_dir "$build/wine-loader"
  export WINELOADER=$build/wine-loader/lib/wine/wine64
fi
exec "$WINELOADER" "$@"
