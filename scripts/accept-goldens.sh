#!/usr/bin/env bash
# Takes what the last test run left in build/i686/golden-actual, the actual image or text of
# each golden check that failed, as the new goldens in tests/golden. Look at each -diff image
# (and at the text diffs the test printed) before you run it.
set -euo pipefail
source "$(dirname "$0")/common.sh"
actual=$build/i686/golden-actual
[ -d "$actual" ] || { echo "Nothing to accept: no golden check failed in the last run."; exit 0; }
for file in "$actual"/*; do
  name=$(basename "$file")
  case $name in
  *-diff.bmp) continue ;;
  *.bmp) convert "$file" "$root/tests/golden/${name%.bmp}.png" ;;
  *) cp "$file" "$root/tests/golden/$name" ;;
  esac
  echo "accepted tests/golden/${name%.bmp}$([[ $name == *.bmp ]] && echo .png)"
done
rm -rf "$actual"
