#!/usr/bin/env bash
# check-release.sh SRC BUILD: the qualities of what users get. Brasselt.exe is a hardened 32-bit
# GUI image that imports only DLLs Windows always loads from the system directory, and is
# small; the zip holds it and the README; a second clean build elsewhere gives the same bytes;
# the C++ follows .clang-format.
set -euo pipefail
src=$1 build=$2 exe=$2/Brasselt.exe work=$2/release-check
fail() { echo "FAIL: $*" >&2; exit 1; }

headers=$(i686-w64-mingw32-objdump -p "$exe")
sections=$(i686-w64-mingw32-size -A "$exe")
file -b "$exe" | grep -q '^PE32 executable (GUI) Intel 80386' || fail "not a PE32 GUI i386 exe"
flags=$((16#$(awk '/^DllCharacteristics/ {print $2}' <<<"$headers")))
((flags & 0x40)) || fail "no ASLR (dynamic base)"
((flags & 0x100)) || fail "no DEP (NX compatible)"
# ASLR cannot move an image without its relocations.
[ "$(awk '$1 == ".reloc" {print $2}' <<<"$sections")" -gt 0 ] || fail "no relocations"
grep -q '^Time/Date.*1970' <<<"$headers" || fail "the link time stamp is set"
# KnownDLLs only: a DLL of any other name could be planted beside the exe.
for dll in $(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u); do
  [[ $dll =~ ^(kernel32|user32|gdi32|advapi32|shell32|msvcrt)\.dll$ ]] || fail "imports $dll"
done
total=$(awk '$1 ~ /^\./ && $1 != ".rsrc" {sum += $2} END {print sum}' <<<"$sections")
echo "size: $(stat -c %s "$exe") bytes on disk, $total of code and data"
[ "$total" -le 65536 ] || fail "code and data exceed 64 KiB"

rm -rf "$work"
(cd "$build" && cpack -B "$work" >/dev/null)
zip=$work/Brasselt-1.0.0-win32.zip
[ "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" = "Brasselt.exe README.md " ] || fail "zip contents"
unzip -p "$zip" Brasselt.exe | cmp - "$exe" || fail "the zip holds another exe"

copy="$work/a longer path/src"
mkdir -p "$copy"
tar -C "$src" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf -
cmake -S "$copy" -B "$copy/../build" -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/mingw.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$copy/../build" --target Brasselt >/dev/null
cmp "$exe" "$copy/../build/Brasselt.exe" || fail "a build in another folder differs"

cd "$src"
find app registry mainwindow resources tests scripts -name '*.cpp' -o -name '*.h' |
  xargs clang-format --dry-run --Werror
rm -rf "$work"
echo "ok"
