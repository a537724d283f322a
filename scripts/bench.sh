#!/usr/bin/env bash
# Start-up time and idle memory of Brasselt against the least program that shows the same
# window; docs/DEVELOPING.md says what it prints and which figures count.
#   scripts/bench.sh [RUNS]     (default 60)
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "$0")/common.sh"
runs=${1:-60}

"$root/scripts/setup.sh"
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s '-screen 0 1024x768x24' "$0" "$runs"
fi

configure_and_build Brasselt >/dev/null
out=$build/i686/bench
mkdir -p "$out"
# The yardstick gets the same compiler, flags and static runtime as Brasselt.
for program in baseline probe; do
  gui=
  [ $program = probe ] || gui=-mwindows
  i686-w64-mingw32-g++-posix -std=c++20 -Os -municode -static -s -Wall -Wextra -Werror \
    ${gui:+"$gui"} -o "$out/$program.exe" \
    "$root/scripts/bench/$program.cpp" -lpsapi
done

export WINEPREFIX=$build/i686/wineprefix-bench
"$root/scripts/wineprefix.sh" create "$WINEPREFIX"
trap '"$root/scripts/wineprefix.sh" remove "$WINEPREFIX"' EXIT

echo "32-bit programs run $("$wine" --how)."
[ "${WINEDEBUG:--all}" = -all ] || echo "WINEDEBUG=$WINEDEBUG is set: Wine's traces slow each" \
  "start, so these figures do not compare with a run without it."
"$wine" "$out/probe.exe" "$runs" "$build/i686/Brasselt.exe" "$out/baseline.exe" </dev/null |
  tr -d '\r' | awk -v runs="$runs" '
    { ms[NR] = $2; low[NR] = $3; high[NR] = $4; kb[NR] = $5 }
    END {
      printf "%d runs each, alternating; medians, and the start times\x27 quartiles\n", runs
      printf "%-10s %12s %17s %16s\n", "", "start (ms)", "spread (ms)", "idle page-file"
      printf "%-10s %12.1f %8.1f - %6.1f %12d KiB\n", "Brasselt", ms[1], low[1], high[1], kb[1]
      printf "%-10s %12.1f %8.1f - %6.1f %12d KiB\n", "baseline", ms[2], low[2], high[2], kb[2]
      printf "%-10s %12.3f %8.3f - %6.3f %16.3f\n", "ratio", ms[1] / ms[2], low[1] / high[2],
        high[1] / low[2], kb[1] / kb[2]
    }'
