#!/usr/bin/env bash
# check-reproducible.sh SRC WORK: two clean builds of the same sources, in different folders,
# give the same Brasselt.exe byte for byte.
set -euo pipefail
src=$1 work=$2
rm -rf "$work"
for copy in one/src "two/a longer path/src"; do
  mkdir -p "$work/$copy"
  tar -C "$src" --exclude=./build --exclude=./.git -cf - . | tar -C "$work/$copy" -xf -
  cmake -S "$work/$copy" -B "$work/$copy/../build" -DCMAKE_TOOLCHAIN_FILE="$work/$copy/cmake/mingw.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$work/$copy/../build" --target Brasselt >/dev/null
done
a="$work/one/build/Brasselt.exe" b="$work/two/a longer path/build/Brasselt.exe"
cmp "$a" "$b" || { echo "FAIL: the two builds differ" >&2; exit 1; }
echo "ok: identical, sha256 $(sha256sum "$a" | cut -d' ' -f1)"
rm -rf "$work"
