#!/usr/bin/env bash
# Builds Brasselt and its tests into build/i686, installing what is missing, and runs nothing.
#   scripts/build.sh [TARGET]     e.g. Brasselt for the exe alone; default: everything
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "$0")/common.sh"
"$root/scripts/setup.sh"
configure_and_build "$@"
