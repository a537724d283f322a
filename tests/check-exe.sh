#!/usr/bin/env bash
# check-exe.sh EXE: the exe is a hardened 32-bit x86 GUI program that imports only DLLs that
# Windows always loads from the system directory, and it is small. Prints its size.
set -euo pipefail
exe=$1
headers=$(i686-w64-mingw32-objdump -p "$exe")
fail() { echo "FAIL: $*" >&2; exit 1; }

file -b "$exe" | grep -q '^PE32 executable (GUI) Intel 80386' ||
  fail "not a PE32 GUI i386 exe: $(file -b "$exe")"
grep -q '^Subsystem.*(Windows GUI)' <<<"$headers" || fail "subsystem is not Windows GUI"

# ASLR and DEP, and the relocations without which ASLR cannot move the image.
flags=$((16#$(awk '/^DllCharacteristics/ {print $2}' <<<"$headers")))
((flags & 0x40)) || fail "no ASLR (IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE)"
((flags & 0x100)) || fail "no DEP (IMAGE_DLLCHARACTERISTICS_NX_COMPAT)"
sections=$(i686-w64-mingw32-size -A "$exe")
reloc=$(awk '$1 == ".reloc" {print $2}' <<<"$sections")
[ "${reloc:-0}" -gt 0 ] || fail "no relocation section"
grep -q '^Time/Date.*1970' <<<"$headers" || fail "the link time stamp is set"

# KnownDLLs only: a DLL of any other name could be planted beside the exe.
dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u)
echo "imports:" $dlls
for dll in $dlls; do
  case $dll in
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | msvcrt.dll) ;;
    *) fail "imports $dll, which is not a known system DLL" ;;
  esac
done

resources=$(awk '$1 == ".rsrc" {print $2}' <<<"$sections")
total=$(awk '$1 ~ /^\./ && $1 != ".rsrc" {sum += $2} END {print sum}' <<<"$sections")
echo "size: $(stat -c %s "$exe") bytes on disk; code and data $total bytes, resources $resources bytes"
[ "$total" -le 65536 ] || fail "code and data exceed 64 KiB"
echo "ok: $exe"
