#!/usr/bin/env bash
# Checks the shape of a built bootstrapper: a 32-bit GUI program, large-address-aware,
# aligned for lazy mapping, importing only DLLs that Windows always loads from the system
# directory (KnownDLLs). Not the common controls or the common dialogs either: loaded at
# start-up they bring in theming and the display driver for every run, while only package
# creation shows such windows; it loads comdlg32 itself when the save dialog is needed.
set -euo pipefail
exe=$1
headers=$(i686-w64-mingw32-objdump -p "$exe")
fail() { echo "FAIL: $*"; exit 1; }

grep -Eq 'Magic[[:space:]]+010b[[:space:]]+\(PE32\)' <<<"$headers" || fail "not PE32"
grep -Eq 'Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)' <<<"$headers" || fail "not a GUI program"
grep -q 'large address aware' <<<"$headers" || fail "not large-address-aware"
grep -Eq 'FileAlignment[[:space:]]+00001000' <<<"$headers" || fail "file alignment is not 0x1000"
i686-w64-mingw32-objdump -f "$exe" | grep -q 'i386' || fail "not i386"

allowed=" advapi32.dll gdi32.dll imagehlp.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll rpcrt4.dll shell32.dll shlwapi.dll user32.dll "
imports=$(sed -n 's/.*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z')
[ -n "$imports" ] || fail "no import table"
for dll in $imports; do
    [[ "$allowed" == *" $dll "* ]] || fail "imports $dll, which is not an allowed KnownDLL"
done
echo "OK: PE32 GUI i386, large-address-aware, file alignment 0x1000, imports: $(echo $imports)"
