#!/usr/bin/env bash
# check-exe.sh EXE: the exe is a 32-bit x86 GUI program that imports system DLLs only.
set -euo pipefail
exe=$1
headers=$(i686-w64-mingw32-objdump -p "$exe")
fail() { echo "FAIL: $*" >&2; exit 1; }

file -b "$exe" | grep -q '^PE32 executable (GUI) Intel 80386' || fail "not a PE32 GUI i386 exe: $(file -b "$exe")"
grep -q '^Subsystem.*(Windows GUI)' <<<"$headers" || fail "subsystem is not Windows GUI"

dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u)
echo "imports:" $dlls
for dll in $dlls; do
  case $dll in
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | msvcrt.dll) ;;
    *) fail "imports $dll, which is not a system DLL" ;;
  esac
done
echo "ok: $exe"
