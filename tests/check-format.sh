#!/usr/bin/env bash
# check-format.sh SRC: every C++ file in the source tree follows .clang-format.
set -euo pipefail
cd "$1"
find app registry mainwindow resources tests scripts -name '*.cpp' -o -name '*.h' |
  xargs clang-format --dry-run --Werror
echo "ok: formatted"
