#!/usr/bin/env bash
# Builds Brasselt and its tests and runs every test under Wine, on a virtual display.
set -euo pipefail
source "$(dirname "$0")/common.sh"
"$root/scripts/setup.sh"

configure_and_build i686
tests=$build/i686
if ! runs_32bit; then
  echo "NOTE: this machine cannot execute 32-bit x86 code; the tests run the x86_64 build of" \
       "the same sources. The 32-bit exe is built and its image checked, but not run." >&2
  configure_and_build x86_64 all -DBRASSELT_PRODUCT_DIR="$build/i686"
  tests=$build/x86_64
fi

cd "$tests"
xvfb-run -a -s '-screen 0 1024x768x24' ctest --output-on-failure -j2
