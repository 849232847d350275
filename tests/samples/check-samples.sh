#!/usr/bin/env bash
# Checks the built sample payloads from outside: the setup UI imports only DLLs that
# Windows always takes from the system directory (msi.dll and comctl32.dll are loaded at
# run time), the satellites are resource-only, and the package defines the options as off.
set -euo pipefail
layout=$1
fail() { echo "FAIL: $*"; exit 1; }

headers=$(i686-w64-mingw32-objdump -p "$layout/SetupUI.exe")
grep -Eq 'Subsystem[[:space:]]+00000002' <<<"$headers" || fail "SetupUI.exe is not a GUI program"
known=" advapi32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll user32.dll "
imports=$(sed -n 's/.*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z')
for dll in $imports; do
    [[ "$known" == *" $dll "* ]] || fail "SetupUI.exe imports $dll, which is not a KnownDLL"
done

count=0
for dll in "$layout"/*/SetupUI.resources.dll; do
    headers=$(i686-w64-mingw32-objdump -p "$dll")
    grep -Eq 'AddressOfEntryPoint[[:space:]]+00000000' <<<"$headers" || fail "$dll has an entry point"
    ! grep -q 'DLL Name' <<<"$headers" || fail "$dll imports DLLs"
    i686-w64-mingw32-objdump -h "$dll" | grep -q '\.rsrc' || fail "$dll has no resources"
    count=$((count + 1))
done
[ "$count" -eq 9 ] || fail "$count satellites instead of 9"

properties=$(msiinfo export "$layout/Orvanta.msi" Property | tr -d '\r')
for name in NO_UPDATE_CHECK_PROPERTY NO_EULA_PROPERTY INSTALL_DESKTOP_SHORTCUT_PROPERTY; do
    grep -qx "$name	#0" <<<"$properties" || fail "the package lacks $name = #0"
done
! grep -q '^INSTALL_DIR_PROPERTY' <<<"$properties" || fail "the package sets INSTALL_DIR_PROPERTY"
grep -qx 'ALLUSERS	1' <<<"$properties" || fail "the package is not per-machine"
echo "OK: setup UI imports $(echo $imports); $count resource-only satellites; package options #0"

# The package is rebuilt byte for byte from the same sources, so the shipped executable is too.
if [ $# -ge 4 ]; then
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    for run in 1 2; do
        bash "$2" "$3" "$4" 1.0.0 AAAAAAAA-2222-3333-4444-555555555555 "$scratch/$run.msi"
        sleep 1
    done
    cmp -s "$scratch/1.msi" "$scratch/2.msi" || fail "two builds of the package differ"
    echo "OK: two builds of the package are identical"
fi
