#!/usr/bin/env bash
# wineprefix.sh create|remove DIR win32|win64: a throwaway Wine prefix for one test run.
set -euo pipefail
action=$1 dir=$2 arch=$3
export WINEPREFIX=$dir WINEARCH=$arch WINEDEBUG=-all
# Debian's wine wrapper starts the 32-bit loader, which cannot start a 64-bit prefix alone.
if [ "$arch" = win64 ]; then loader=/usr/lib/wine/wine64; else loader=wine; fi

case $action in
create)
  wineserver -k 2>/dev/null || true
  rm -rf "$dir"
  mkdir -p "$dir"
  # The server and the processes wineboot leaves running must not hold the caller's output
  # open, or CTest waits for them.
  log=$dir/create.log
  {
    # One server for the whole run: key DACLs set by a test live only as long as it.
    wineserver -p
    "$loader" wineboot -i
    # Without a window manager, Wine otherwise waits for one each time a window is hidden.
    "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
    # A crash ends the process instead of leaving a dialog that blocks the run.
    "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
  } </dev/null >"$log" 2>&1 || { cat "$log"; exit 1; }
  ;;
remove)
  wineserver -k 2>/dev/null || true
  rm -rf "$dir"
  ;;
*)
  echo "usage: $0 create|remove DIR win32|win64" >&2
  exit 2
  ;;
esac
