#!/usr/bin/env bash
# Runs the small-volume cases: a 2 MiB tmpfs mounted as the Wine drive S:, for runs whose
# temporary folder or chosen package is on a drive without room for them.
# Usage: small-volume.sh EMULATOR TESTS.exe
# Exits 77 (skipped) with the reason where this host cannot mount one.
set -euo pipefail
emulator=$1
tests=$2

skip() {
    echo "SKIPPED: $*"
    exit 77
}

[ "$(id -u)" -eq 0 ] || skip "mounting a tmpfs needs root"
[ -d "${WINEPREFIX:-}/dosdevices" ] || skip "no Wine prefix with drives in WINEPREFIX"
drive=$WINEPREFIX/dosdevices/s:
[ ! -e "$drive" ] && [ ! -L "$drive" ] || skip "the prefix has a drive S: already"

volume=$(mktemp -d /tmp/orvanta-small.XXXXXX)
cleanup() {
    rm -f "$drive"
    if mountpoint -q "$volume"; then
        umount "$volume" 2>/dev/null || umount -l "$volume"
    fi
    rmdir "$volume"
}
trap cleanup EXIT
mount -t tmpfs -o size=2m,mode=1777 tmpfs "$volume" 2>/dev/null || skip "a tmpfs cannot be mounted here"
ln -s "$volume" "$drive"

status=0
ORVANTA_SMALL_DRIVE='S:\' "$emulator" "$tests" || status=$?
exit $status
