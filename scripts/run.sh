#!/usr/bin/env bash
# Builds Brasselt and runs it under Wine. With a display it shows the window until it is
# closed; without one it runs on a virtual display, saves build/screenshot.png and closes it.
set -euo pipefail
source "$(dirname "$0")/common.sh"

if [ "${1:-}" != --screenshot ]; then
  "$root/scripts/setup.sh"
  configure_and_build i686 Brasselt
  if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s '-screen 0 1024x768x24' "$0" --screenshot
  fi
fi

arch=i686 winearch=win32 loader=wine
if ! runs_32bit; then
  echo "NOTE: this machine cannot execute 32-bit x86 code; running the x86_64 build." >&2
  configure_and_build x86_64 Brasselt
  arch=x86_64 winearch=win64 loader=/usr/lib/wine/wine64
fi
exe=$build/$arch/Brasselt.exe

export WINEPREFIX=${WINEPREFIX:-$build/wineprefix-run} WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || "$root/tests/wineprefix.sh" create "$WINEPREFIX" "$winearch"

if [ "${1:-}" != --screenshot ]; then
  exec "$loader" "$exe"
fi

"$loader" "$exe" &
program=$!
window=
for _ in $(seq 100); do
  window=$(xwininfo -root -tree | awk '/"Tolvik Brasselt"/ {print $1; exit}')
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "The window did not appear." >&2; kill "$program"; exit 1; }
sleep 1  # let it finish painting
import -window root -crop "$(xwininfo -id "$window" | awk '
  /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
  /Width:/ {w=$NF} /Height:/ {h=$NF} END {print w "x" h "+" x "+" y}')" +repage "$build/screenshot.png"
echo "Saved $build/screenshot.png"
# taskkill without /f closes the window the way a user would.
"$loader" taskkill /im Brasselt.exe >/dev/null
wait "$program"
