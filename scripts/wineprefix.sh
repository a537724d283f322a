#!/usr/bin/env bash
# wineprefix.sh create DIR [DPI] | remove DIR: a throwaway 64-bit Wine prefix, made and checked
# once per run of the tests, the program or the benchmark; its display at DPI (default 96).
# DIR/.brasselt-unfinished is there until the prefix is whole, so that one whose creation was
# stopped is known as such and made again.
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "$0")/common.sh"
action=$1 dir=$2 dpi=${3:-96}
export WINEPREFIX=$dir WINEARCH=win64

case $action in
create)
  "$server" -k 2>/dev/null || true
  rm -rf "$dir"
  mkdir -p "$dir"
  touch "$dir/.brasselt-unfinished"
  # The server and the processes wineboot leaves running must not hold the caller's output
  # open, or the caller waits for them.
  log=$dir/create.log
  {
    # One server for the whole run: key DACLs set by a test live only as long as it.
    "$server" -p
    # Made with no display: wineboot shows a window in the middle of the screen for as long as
    # it works, and the tests make one prefix while the window checks of another look there.
    (
      unset DISPLAY WAYLAND_DISPLAY
      "$wine" wineboot -i
      # Without a window manager, Wine otherwise waits for one each time a window is hidden.
      "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
      # A crash ends the process instead of leaving a dialog that blocks the run.
      "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
      "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f
    )
    # Wine reads the DPI when its server starts, and the desktop that wineboot started has no
    # display: a new server, and the keeper below, start them again.
    "$server" -k
    "$server" -w
    "$server" -p
  } </dev/null >"$log" 2>&1 || { cat "$log"; exit 1; }
  # Wine ends the prefix's desktop and services a second or so after the last program on
  # them, and starting them again takes it over 10 s (RpcSs). A program that stays on the
  # desktop until the server ends keeps them up between tests. It comes first: the desktop
  # (explorer.exe) takes the output of the program that starts it, and one started by a test
  # and then kept up would hold CTest's pipe after the test ended, and CTest would wait.
  # What it says alone goes to its own log, where no trace of Wine's (WINEDEBUG) can pass for it.
  keeper=$dir/keeper.log
  ("$server" -w | "$wine" 'C:\windows\system32\cmd.exe' /c 'echo ready& pause') </dev/null \
    >"$keeper" 2>>"$log" &
  for _ in $(seq 300); do grep -q ready "$keeper" && break; sleep 0.2; done
  grep -q ready "$keeper" || { cat "$log" "$keeper"; echo "ERROR: the Wine prefix $dir did not" \
    "start its programs." >&2; exit 1; }
  "$wine" rundll32.exe user32.dll,GetDesktopWindow </dev/null >>"$log" 2>&1
  # Everything else here runs 32-bit programs: fail now, and say why, if they cannot start.
  if ! timeout 60 "$wine" 'C:\windows\syswow64\cmd.exe' /c exit </dev/null >>"$log" 2>&1; then
    cat "$log" >&2
    echo "ERROR: a 32-bit Windows program does not start in the Wine prefix $dir. Run" \
         "scripts/setup.sh: it installs wine32:i386 and, where the kernel cannot execute" \
         "32-bit x86 code, qemu-user 10 or later." >&2
    exit 1
  fi
  rm "$dir/.brasselt-unfinished"
  ;;
remove)
  # The prefix's programs may write into it until its server has ended, and one that was
  # just starting then starts a server of its own: end that one too.
  for _ in 1 2 3; do
    "$server" -k 2>/dev/null || true
    "$server" -w 2>/dev/null || true
    rm -rf "$dir" 2>/dev/null && exit 0
  done
  rm -rf "$dir"
  ;;
*)
  echo "usage: $0 create|remove DIR" >&2
  exit 2
  ;;
esac
