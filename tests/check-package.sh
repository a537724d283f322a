#!/usr/bin/env bash
# check-package.sh BUILD WORK: cpack makes Brasselt-1.0.0-win32.zip holding exactly the exe
# of that build and the README.
set -euo pipefail
build=$1 work=$2
rm -rf "$work"
(cd "$build" && cpack -B "$work" >/dev/null)
zip=$work/Brasselt-1.0.0-win32.zip
[ -f "$zip" ] || { echo "FAIL: no $zip" >&2; exit 1; }
contents=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$contents" = "Brasselt.exe README.md " ] || { echo "FAIL: the zip holds: $contents" >&2; exit 1; }
unzip -p "$zip" Brasselt.exe | cmp - "$build/Brasselt.exe" || { echo "FAIL: another exe" >&2; exit 1; }
echo "ok: $zip"
rm -rf "$work"
