#!/usr/bin/env bash
# Takes what the last test run left in build/i686/golden-actual, the actual image or text of
# each golden check that failed, as the new goldens in tests/golden. Look at each of them
# (and at the text diffs the test printed) before you run it.
set -euo pipefail
source "$(dirname "$0")/common.sh"
actual=$build/i686/golden-actual
[ -d "$actual" ] || { echo "Nothing to accept: no golden check failed in the last run."; exit 0; }
for file in "$actual"/*; do
  cp "$file" "$root/tests/golden/"
  echo "accepted tests/golden/$(basename "$file")"
done
rm -rf "$actual"
