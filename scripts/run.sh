#!/usr/bin/env bash
# Builds Brasselt and runs it under Wine. With a display it shows the window until it is
# closed; without one it runs on a virtual display, saves build/screenshot.png and closes it.
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "$0")/common.sh"

if [ "${1:-}" != --screenshot ]; then
  "$root/scripts/setup.sh"
  configure_and_build Brasselt
  if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s '-screen 0 1024x768x24' "$0" --screenshot
  fi
fi
exe=$build/i686/Brasselt.exe
echo "32-bit programs run $("$wine" --how)."

# A prefix of Brasselt's own: one that the user keeps for other Windows programs (their
# WINEPREFIX) would get the registry change, and may be a 32-bit one, which cannot run here.
export WINEPREFIX=${BRASSELT_WINEPREFIX:-$build/wineprefix-run}
# One whose creation was stopped is made again; a prefix of the user's own is used as it is.
if [ ! -d "$WINEPREFIX" ] || [ -e "$WINEPREFIX/.brasselt-unfinished" ]; then
  [ ! -d "$WINEPREFIX" ] || echo "The Wine prefix $WINEPREFIX was left unfinished: making it again."
  "$root/scripts/wineprefix.sh" create "$WINEPREFIX"
  # The prefix keeps its server for the tests; the program alone needs no server once it ends.
  "$server" -k
fi

if [ "${1:-}" != --screenshot ]; then
  exec "$wine" "$exe"
fi

"$wine" "$exe" </dev/null &
program=$!
# Up to a minute for the window: a 32-bit start takes a few seconds under emulation.
window=
for _ in $(seq 300); do
  window=$(xwininfo -root -tree | awk '/"Tolvik Brasselt"/ {print $1; exit}')
  [ -n "$window" ] && break
  kill -0 "$program" 2>/dev/null || break
  sleep 0.2
done
[ -n "$window" ] || { echo "ERROR: the Brasselt window did not appear." >&2; kill "$program"; exit 1; }
sleep 1  # let it finish painting
import -window root -crop "$(xwininfo -id "$window" | awk '
  /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
  /Width:/ {w=$NF} /Height:/ {h=$NF} END {print w "x" h "+" x "+" y}')" +repage "$build/screenshot.png"
echo "Saved $build/screenshot.png"
# taskkill without /f closes the window the way a user would.
"$wine" taskkill /im Brasselt.exe >/dev/null
wait "$program"
# Wine's own helper processes end with the server, before the virtual display does.
"$server" -w
