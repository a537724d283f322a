#!/usr/bin/env bash
# Builds Brasselt and its tests and runs every test under Wine, on a virtual display; the
# arguments, if any, go to ctest, as in scripts/test.sh -R NAME for the tests it matches.
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "$0")/common.sh"
"$root/scripts/setup.sh"

configure_and_build
echo "32-bit programs run $("$wine" --how)."
cd "$build/i686"
# What a failing golden check leaves is this run's alone.
rm -rf golden-actual
xvfb-run -a -s '-screen 0 1024x768x24' ctest --output-on-failure -j2 "$@"
